#include "qt_host.h"

#include "dialogs.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

void QtFormatHost::processMessages() {
    QCoreApplication::processEvents();
}

void QtFormatHost::showMessage(const QString& text) {
    dialogs().plain(text);
}

void QtFormatHost::beginHourglass() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++hourglassDepth_;
}

void QtFormatHost::endHourglass() {
    // Unbalanced ends must not pop a cursor that someone else set.
    if (hourglassDepth_ == 0) return;
    --hourglassDepth_;
    QGuiApplication::restoreOverrideCursor();
}

void QtFormatHost::gifProgress(double fraction) {
    if (gifHook_) gifHook_(fraction);
}
