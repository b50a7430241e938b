#include "error_report.h"

#include "dialogs.h"
#include "formats/errors.h"

QString ErrorReportText(const QString& failureText) {
    if (!failureText.isEmpty() && failureText.back().unicode() <= u'.') return failureText;
    return failureText + u'.';
}

bool RunGuarded(const std::function<void()>& body) {
    QString failure;
    try {
        body();
        return true;
    } catch (const SilentAbort&) {
        return false;
    } catch (const PixError& e) {
        failure = e.text();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("Unknown error");
    }
    // Shown outside the handlers, so a failure inside the box itself cannot escape.
    try {
        dialogs().message(MessageKind::ErrorReport, ErrorReportText(failure));
    } catch (...) {
    }
    return false;
}
