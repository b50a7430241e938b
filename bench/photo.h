#pragma once
// The benchmarks' test photo: made once per run, never shipped.

#include <QByteArray>

// A photo-like JPEG of the given size: a corpus photograph enlarged, with sensor-like noise so
// the coefficients are as busy as a camera's. Without the corpus, a generated gradient stands in.
QByteArray PhotoLikeJpeg(int width, int height, int quality = 90);
