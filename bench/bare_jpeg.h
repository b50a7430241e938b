#pragma once
// The yardstick the benchmarks set the program beside: a thumbnail made with libjpeg-turbo alone.

#include <QByteArray>

// Decodes every pixel of `jpeg`, keeps the pixel centres a nearest-neighbour stretch to
// `percent` of its size samples, and encodes them from memory with `quality`. Streaming samples
// the rows as they are decoded; otherwise the whole picture is decoded into one buffer first.
QByteArray BareJpegThumbnail(const QByteArray& jpeg, int percent, int quality, bool streaming);
