#include "window_kit.h"

#include "platform/controls.h"
#include "platform/long_operation.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace {

WindowSizeStore& sizeStore() {
    static WindowSizeStore store;
    return store;
}

// Assistive tools name what they find by role: a bare frame used as a panel is a panel (not a
// second window inside the window) and the image control is a picture.
QAccessibleInterface* kitAccessibleRoles(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("PictureBox"))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    if (className == QLatin1String("QFrame"))
        return new QAccessibleWidget(widget, QAccessible::Pane);
    return nullptr;
}

void installAccessibleRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(kitAccessibleRoles);
        return true;
    }();
    (void)installed;
}

}  // namespace

void SetWindowSizeStore(WindowSizeStore store) {
    sizeStore() = std::move(store);
}

int UsableSavedLength(int saved) {
    return (saved > 0 && saved <= 16384) ? saved : 0;
}

WindowPlacement::WindowPlacement(QWidget* window, QString section)
    : QObject(window), window_(window), section_(std::move(section)) {
    installAccessibleRoles();
    window_->installEventFilter(this);
}

void WindowPlacement::restoreSavedSize() {
    restored_ = true;
    const WindowSizeStore& store = sizeStore();
    if (section_.isEmpty()) return;
    // Width first, then height, each only when set: a window remembers what it was given.
    if (store.readWidth) {
        restoredOuterWidth_ = UsableSavedLength(store.readWidth(section_));
        if (restoredOuterWidth_ != 0) window_->resize(restoredOuterWidth_, window_->height());
    }
    if (store.readHeight) {
        restoredOuterHeight_ = UsableSavedLength(store.readHeight(section_));
        if (restoredOuterHeight_ != 0) window_->resize(window_->width(), restoredOuterHeight_);
    }
}

void WindowPlacement::saveSize() {
    const WindowSizeStore& store = sizeStore();
    if (section_.isEmpty() || !store.save) return;
    const QRect outer = window_->frameGeometry();
    store.save(section_, outer.width(), outer.height());
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    if (event->type() == QEvent::Show && !placed_) {
        placed_ = true;
        if (!restored_) RunGuarded([this] { restoreSavedSize(); });
        placeOnScreen();
        // Some window managers add their frame only once the window is on screen; until then
        // a saved outer size would be applied as the inner one and grow by the frame each run.
        awaitingFrame_ = window_->frameGeometry().size() == window_->size();
    } else if (event->type() == QEvent::ActivationChange && awaitingFrame_ &&
               window_->isActiveWindow()) {
        awaitingFrame_ = false;
        if (window_->frameGeometry().size() != window_->size()) placeOnScreen();
    }
    return false;
}

void WindowPlacement::placeOnScreen() {
    // Saved sizes are outer sizes: take the frame off before applying them.
    const QSize frameExtra = window_->frameGeometry().size() - window_->size();
    QSize client = window_->size();
    if (restoredOuterWidth_ != 0) client.setWidth(restoredOuterWidth_ - frameExtra.width());
    if (restoredOuterHeight_ != 0) client.setHeight(restoredOuterHeight_ - frameExtra.height());
    window_->resize(client);
    if (const QScreen* s = window_->screen()) {
        const QRect area = s->availableGeometry();
        const QSize outer = client + frameExtra;
        window_->move(area.x() + (area.width() - outer.width()) / 2,
                      area.y() + (area.height() - outer.height()) / 2);
    }
}

bool CloseAfterOperation::deferred(std::function<void()> closeAgain) {
    if (!LongOperation::running()) return false;
    if (!pending_) {
        pending_ = true;
        LongOperation::whenFinished([this, window = window_, closeAgain = std::move(closeAgain)] {
            // The window may be gone by the time the operation ends, and this with it.
            if (!window) return;
            pending_ = false;
            closeAgain();
        });
    }
    return true;
}

QColor FormGrey() { return ColorFromBgr(14737632); }

void ModalForm::applyProgramLook() {
    // The form names the face; its pixel size is the program's (a form can only say points).
    setFont(ArialFont());
    PaintBackground(this, FormGrey());
}

ModalForm::ModalForm(const QString& section, QWidget* parent)
    : QDialog(parent), placement_(this, section) {
    if (!section.isEmpty()) setObjectName(section);
    // Created once and reused: closing only hides the form.
    setAttribute(Qt::WA_DeleteOnClose, false);
}

int ModalForm::showModal() {
    return exec();
}

void ModalForm::setDefaultButton(QPushButton* button) {
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(b == button);
    }
}

void ModalForm::reject() {
    // Escape and the close box end the form like its "Ok".
    done(Accepted);
}

void ModalForm::done(int) {
    if (!isVisible()) {
        QDialog::done(Accepted);
        return;
    }
    // A run in progress ends first; then the form closes as asked.
    if (closeLater_.deferred([this] { done(Accepted); })) return;
    // A failure is reported and the form still closes: the user asked to leave.
    RunGuarded([this] {
        FormCloseQuery();
        placement_.saveSize();
    });
    QDialog::done(Accepted);
}
