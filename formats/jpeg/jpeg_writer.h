#pragma once
// The JPEG save of a picture (one image or a batch's working picture).

#include "formats/picture.h"
#include "formats/write_outcome.h"

#include <QString>

// Writes source as a JPEG file at the quality: encodes first, keeps the encoding in
// *imagejpeg when given, then writes target unless a file of that name exists (WriteNewFile).
// A picture without pixels is refused with a message. A quality outside 1..100 is a range
// error.
WriteOutcome WriteJpegFile(const QString& target, const Picture& source, int quality,
                           Picture* imagejpeg = nullptr);
