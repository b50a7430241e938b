#pragma once
// What every window of the program stands on: the remembered, centred window; the modal form
// with its default button; and the one way to connect a control to a handler, which always runs
// the handler inside the general error report.

#include "platform/error_report.h"

#include <QAbstractButton>
#include <QDialog>
#include <QObject>
#include <QColor>
#include <QPointer>
#include <QString>
#include <functional>
#include <type_traits>
#include <utility>

class QPushButton;
class QWidget;

// Where windows keep their outer size: the program installs its settings file's
// ReadSavedWidth / ReadSavedHeight / SaveWindowSize at start-up. Without a store (or with a
// member left empty) nothing is restored or saved.
struct WindowSizeStore {
    std::function<int(const QString& section)> readWidth, readHeight;
    std::function<void(const QString& section, int w, int h)> save;
};
void SetWindowSizeStore(WindowSizeStore store);

// A saved length worth applying: a hand-edited or damaged file may hold a negative or absurd
// size, which is treated like 0 (keep the designed size) rather than giving a window that
// cannot be seen or handled.
int UsableSavedLength(int saved);

// Restores, centres and saves one window. The window owns it (it is a child QObject of the
// window) and tells it when to restore and save; it watches the window's first show itself.
class WindowPlacement : public QObject {
    Q_OBJECT
public:
    WindowPlacement(QWidget* window, QString section);

    const QString& section() const { return section_; }

    // The creation step: reads "W", then "H", each applied as the outer length only when it is
    // usable (not 0). Until the frame is known the length is applied to the client area and
    // corrected at the first show. Call it after the form's own sizes are set; a window that
    // never calls it is restored at its first show.
    void restoreSavedSize();
    // The close: writes the current outer size. It throws what the store throws; the window
    // runs it inside the same RunGuarded as the rest of its close step (one report, never a
    // refused close). An empty section neither restores nor saves.
    void saveSize();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeOnScreen();

    QWidget* window_;
    QString section_;
    int restoredOuterWidth_ = 0;
    int restoredOuterHeight_ = 0;
    bool restored_ = false;
    bool placed_ = false;
    bool awaitingFrame_ = false;
};

// Holds a close request while a long operation runs, and makes it again once the operation has
// ended; the main window and every form close this way.
class CloseAfterOperation {
public:
    explicit CloseAfterOperation(QWidget* window) : window_(window) {}
    // True when the request must wait (closeAgain runs later, once, however often the user
    // asked meanwhile); false when the window may close now.
    bool deferred(std::function<void()> closeAgain);

private:
    QPointer<QWidget> window_;
    bool pending_ = false;
};

// The grey every form is painted with.
QColor FormGrey();

// The base of every window but the main one: created once and reused, hidden (never deleted)
// when closed, shown modally. Closing it in any way (close box, Escape, a button's accept or
// reject) counts as its "Ok": the dialog's result is always Accepted. Every close runs
// FormCloseQuery, then saves the window's size.
class ModalForm : public QDialog {
    Q_OBJECT
public:
    explicit ModalForm(const QString& section, QWidget* parent = nullptr);

    // Shows the form and returns when it closes (QDialog::Accepted).
    int showModal();

    // Makes `button` the one button that Enter activates: every other push button of the form
    // loses its auto-default, so Enter in an edit box never presses some other button.
    void setDefaultButton(QPushButton* button);

    WindowPlacement& placement() { return placement_; }

    // Every close ends here; the dialog's result is Accepted whatever r says.
    void done(int r) override;
    void reject() override;

protected:
    // The set-up every form shares: its Designer controls, the program's font, the forms' grey,
    // and the button Enter presses.
    template <class Form, class FormBase>
    void setUpForm(Form& form, QPushButton* FormBase::*defaultButton) {
        form.setupUi(this);
        applyProgramLook();
        setDefaultButton(form.*defaultButton);
    }
    // The creation step, run once the controls are wired: inside the general error report, so a
    // failure there is shown and the window still exists.
    void runCreation(const std::function<void()>& formCreate) { RunGuarded(formCreate); }

    // Runs inside the general error report on every close, before the size is saved. It
    // cannot refuse the close.
    virtual void FormCloseQuery() {}

private:
    void applyProgramLook();

    WindowPlacement placement_;
    CloseAfterOperation closeLater_{this};
};

namespace window_kit_detail {

template <class C, class Handler, class... Args>
constexpr bool kInvocable = std::is_member_function_pointer_v<Handler>
                                ? std::is_invocable_v<Handler, C*, Args...>
                                : std::is_invocable_v<Handler, Args...>;

// The slot object: takes the signal's arguments (Qt offers fewer when the handler wants fewer)
// and runs the handler guarded.
template <class C, class Handler>
struct GuardedSlot {
    C* self;
    Handler handler;

    template <class... Args>
        requires kInvocable<C, Handler, Args...>
    void operator()(Args&&... args) const {
        RunGuarded([&] {
            if constexpr (std::is_member_function_pointer_v<Handler>)
                std::invoke(handler, self, std::forward<Args>(args)...);
            else
                std::invoke(handler, std::forward<Args>(args)...);
        });
    }
};

template <class Sender, class C>
const QObject* ContextOf(Sender* sender, C* self) {
    if constexpr (std::is_base_of_v<QObject, C>)
        return self;
    else
        return sender;
}

}  // namespace window_kit_detail

// Connects any signal to a handler (a member function of self, or a callable) that runs inside
// RunGuarded: an error ends the handler with the error report, nothing reaches the event loop.
// The handler may take the signal's leading arguments or none.
template <class Sender, class Signal, class C, class Handler>
QMetaObject::Connection OnSignal(Sender* sender, Signal signal, C* self, Handler handler) {
    return QObject::connect(sender, signal, window_kit_detail::ContextOf(sender, self),
                            window_kit_detail::GuardedSlot<C, Handler>{self, std::move(handler)});
}

// A button's click runs the handler guarded: OnClick(Cmdsave, this, &TFrmadjust::CmdsaveClick).
template <class C>
QMetaObject::Connection OnClick(QAbstractButton* button, C* self, void (C::*handler)()) {
    return OnSignal(button, &QAbstractButton::clicked, self, handler);
}
