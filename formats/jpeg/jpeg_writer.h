#pragma once
// The JPEG save of a picture (one image or a batch's working picture).

#include "formats/picture.h"
#include "formats/result_sink.h"

#include <QString>

// Writes source as a JPEG file at the quality: encodes first, keeps the encoding in
// *imagejpeg when given, then writes target unless a file of that name exists, and reports
// the outcome through results. A quality outside 1..100 is a range error.
void WriteJpegFile(const QString& target, const Picture& source, int quality,
                   const ResultSink& results, Picture* imagejpeg = nullptr);
