#include "selection.h"

#include <cmath>

QSize SampleBoxSize(int width, int height) {
    constexpr int kBoxWidth = 110, kBoxHeight = 78;
    double newWidth = kBoxWidth;
    // The ratio alone is single precision: 300 × 400 puts the quotient just below 58.5, so 58.
    if (height > width) {
        if (height > kBoxHeight) newWidth = kBoxHeight / double(float(height) / float(width));
    } else if (width > kBoxWidth) {
        newWidth = kBoxHeight * double(float(width) / float(height));
    }
    // Halves to even; a sample far wider than any screen is clamped only to stay an int.
    const double rounded = std::nearbyint(newWidth);
    const int boxWidth = rounded > 2147483647.0 ? 2147483647 : int(rounded);
    return {boxWidth, kBoxHeight};
}
