#pragma once
// The program's error type. Decoders and plain functions throw it with the exact text the user
// is to read; the event-handler guard (platform/error_report.h) shows it.

#include <QString>
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

// A user action that ends quietly because the user was already told why (the TIFF reader shows
// its own messages). The guard swallows it without a report.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "operation aborted"; }
};
