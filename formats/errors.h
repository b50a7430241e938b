#pragma once
// The program's error type and every error text more than one place throws. Decoders and plain
// functions throw PixError with the exact text the user is to read; the event-handler guard
// (platform/error_report.h) shows it. Bottom layer: includes nothing of formats/.

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

class PixError : public std::exception {
public:
    explicit PixError(QString text) : text_(std::move(text)), utf8_(text_.toStdString()) {}
    const QString& text() const noexcept { return text_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString text_;
    std::string utf8_;
};

// A user action that ends quietly because the user was already told why. The guard swallows it
// without a report. (LoadPictureFile reports a rejected TIFF as LoadOutcome::Rejected instead.)
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "operation aborted"; }
};

// "Range check error": a value outside its allowed range (a quality of 0, a negative size).
QString RangeCheckErrorText();
// "Out of memory".
QString OutOfMemoryText();
// "Cannot open file %s": a file that cannot be opened or read.
QString CannotOpenFileText(const QString& path);
// "Cannot create file %s": every writer's one failure text, the path in native separators.
QString CannotCreateFileText(const QString& path);
// A decoded image would need more memory than any decoder allocates.
QString ImageTooLargeText(uint64_t width, uint64_t height);
// "Cannot read the %1 image %2: %3": a file of a library-decoded kind (PNG, WebP, HEIF) that
// is damaged, cut short or uses what the library cannot decode; the reason is the library's.
QString UnreadableImageText(const QString& kind, const QString& path, const QString& reason);
// A picture the program is asked to make (a preview, a scaled copy) would exceed the largest
// pixel matrix it allocates, limitBytes.
QString PictureTooLargeText(uint64_t width, uint64_t height, uint64_t limitBytes);
