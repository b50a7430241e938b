#include "sizing.h"

#include "bitmap.h"
#include "errors.h"

#include <cfenv>
#include <climits>
#include <cmath>
#include <limits>

// The rounding of the factor and of the product depends on a 64-bit significand: with a plain
// double, 10 % of 25 would no longer land on 2.5 exactly.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the sizing rule needs an 80-bit extended long double");

int ScaledLength(int length, int percent) {
    const long double factor = static_cast<long double>(percent) / 100.0L;
    const long double product = static_cast<long double>(length) * factor;
    // rintl rounds in the current mode; the program never leaves round-to-nearest (halves even).
    const long double rounded = std::rintl(product);
    if (!(rounded >= static_cast<long double>(INT_MIN) &&
          rounded <= static_cast<long double>(INT_MAX)))
        throw PixError(RangeCheckErrorText());
    return static_cast<int>(rounded);
}

bool Fits24BitBitmap(int64_t width, int64_t height) {
    if (width < 0 || height < 0) return false;
    if (width == 0 || height == 0) return true;
    if (width > INT_MAX || height > INT_MAX) return false;
    return Bitmap::matrixBytes(uint32_t(width), uint32_t(height), 24) <= kMaxBitmapBytes;
}

QString BitmapOverLimitText(int64_t width, int64_t height) {
    // The stretch's own refusal, with what the user can do about it.
    return PictureTooLargeText(uint64_t(width), uint64_t(height), kMaxBitmapBytes) +
           QStringLiteral(". Please choose a smaller size.");
}

QString NegativeSizeText() {
    return QStringLiteral("The width and height must not be negative. Please enter 0 or more "
                          "pixels in each box.");
}
