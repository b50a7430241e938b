#include "formats/sizing.h"

#include "formats/bitmap.h"
#include "formats/errors.h"

#include <climits>
#include <cstdint>

// The rule is defined by an 80-bit extended calculation: the factor and the product are each
// rounded to a 64-bit significand, and so 10 % of 25 lands on 2.5 exactly (and goes to 2) where
// a plain double would give 2.5000000000000004 (and 3). The same two roundings are done here in
// integers, so the result does not depend on what `long double` is on the compiler at hand.
namespace {

using u128 = unsigned __int128;

// n / 2^shift rounded to the nearest integer, halves to even.
u128 ShiftRoundedEven(u128 n, int shift) {
    if (shift <= 0) return n;
    if (shift >= 128) return 0;
    const u128 kept = n >> shift;
    const u128 rest = n & ((u128(1) << shift) - 1);
    const u128 half = u128(1) << (shift - 1);
    return (rest > half || (rest == half && (kept & 1))) ? kept + 1 : kept;
}

int BitLength(u128 n) {
    int bits = 0;
    while (n) {
        n >>= 1;
        ++bits;
    }
    return bits;
}

}  // namespace

int ScaledLength(int length, int percent) {
    if (length == 0 || percent == 0) return 0;
    const bool negative = (length < 0) != (percent < 0);
    const uint64_t a = percent < 0 ? 0 - uint64_t(int64_t(percent)) : uint64_t(percent);
    const uint64_t l = length < 0 ? 0 - uint64_t(int64_t(length)) : uint64_t(length);

    // factor = m × 2^-k with m a 64-bit significand: percent ÷ 100, rounded to nearest even.
    int k = 0;
    while ((u128(a) << k) / 100 < (u128(1) << 63)) ++k;
    const u128 numerator = u128(a) << k;
    u128 m = numerator / 100;
    const u128 rest = numerator % 100;
    if (rest > 50 || (rest == 50 && (m & 1))) ++m;
    if (m == (u128(1) << 64)) {
        m >>= 1;
        --k;
    }

    // product = p × 2^(shift - k), p the exact l × m rounded to a 64-bit significand.
    u128 p = u128(l) * m;
    const int shift = BitLength(p) > 64 ? BitLength(p) - 64 : 0;
    p = ShiftRoundedEven(p, shift);
    const int exponent = shift - k;

    // The product rounded to an integer, halves to even.
    u128 rounded;
    if (exponent >= 0) {
        if (exponent > 40 || BitLength(p) + exponent > 33)
            throw PixError(RangeCheckErrorText());
        rounded = p << exponent;
    } else {
        rounded = ShiftRoundedEven(p, -exponent);
    }
    const u128 limit = negative ? u128(uint64_t(INT_MAX) + 1) : u128(INT_MAX);
    if (rounded > limit) throw PixError(RangeCheckErrorText());
    return negative ? int(-int64_t(rounded)) : int(rounded);
}

QSize ScaledSize(int width, int height, int percent) {
    return {ScaledLength(width, percent), ScaledLength(height, percent)};
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

QString NewSizeRefusal(int64_t width, int64_t height) {
    if (width < 0 || height < 0) return NegativeSizeText();
    if (!Fits24BitBitmap(width, height)) return BitmapOverLimitText(width, height);
    return {};
}
