#pragma once
// Answers the modal windows a test action opens, in order, from inside their event loops.

#include <gtest/gtest.h>
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

// Answers the modal windows in the order they open: each step names the window it expects and
// closes it. Whatever opened out of turn is recorded and closed, except a window left open on
// purpose (one whose step starts work that opens the next windows over it).
class ModalScript {
public:
    using Step = std::function<void(QWidget* window)>;
    ModalScript() {
        QObject::connect(&poll_, &QTimer::timeout, [this] { tick(); });
        poll_.start(1);
    }
    void expect(const QString& window, Step step) { steps_.push_back({window, std::move(step)}); }
    // The window becomes active again whenever a window over it closes: that is not a turn.
    void leaveOpen(const QString& window) { leftOpen_ << window; }
    QStringList opened;
    bool done() const { return steps_.empty(); }

private:
    void tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == last_) return;
        const bool turn = !steps_.empty() && steps_.front().first == modal->objectName();
        if (!turn && leftOpen_.contains(modal->objectName())) return;
        last_ = modal;
        opened << modal->objectName();
        // The same window may open again later (a second save).
        QTimer::singleShot(0, &poll_, [this] { last_ = nullptr; });
        if (!turn) {
            modal->close();
            return;
        }
        Step step = std::move(steps_.front().second);
        steps_.pop_front();
        step(modal);
    }
    QTimer poll_;
    QPointer<QWidget> last_;
    QStringList leftOpen_;
    std::deque<std::pair<QString, Step>> steps_;
};

// A window's control by name; a missing one fails the test.
template <class T>
T* child(QWidget* window, const char* name) {
    T* c = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// Steps for the save dialogs: an option and Ok (source type, output type), or a quality.
inline ModalScript::Step Choose(const char* option) {
    return [option](QWidget* w) {
        child<QRadioButton>(w, option)->setChecked(true);
        child<QPushButton>(w, "BitBtn1")->click();
    };
}
inline ModalScript::Step Quality(int q) {
    return [q](QWidget* w) {
        child<QScrollBar>(w, "ScrollBar1")->setValue(q);
        child<QPushButton>(w, "Button1")->click();
    };
}
