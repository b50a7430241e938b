#include "error_report.h"

#include "dialogs.h"
#include "formats/errors.h"

QString ErrorReportText(const QString& failureText) {
    if (!failureText.isEmpty() && failureText.back().unicode() <= u'.') return failureText;
    return failureText + u'.';
}

int ParseInteger(const QString& text) {
    const QString digits = text.trimmed();
    // QString::toInt alone would also take what the locale allows; only a sign and digits are a
    // number here.
    bool plain = !digits.isEmpty();
    for (qsizetype i = 0; i < digits.size() && plain; ++i) {
        const QChar c = digits[i];
        plain = (c >= u'0' && c <= u'9') || (i == 0 && (c == u'-' || c == u'+'));
    }
    bool ok = false;
    const int value = plain ? digits.toInt(&ok, 10) : 0;
    if (!ok) throw PixError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

PixError RangeCheckError() {
    return PixError(RangeCheckErrorText());
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
