#pragma once
// Answers the modal windows a test action opens, in order, from inside their event loops.

#include <QApplication>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

// Answers the modal windows in the order they open: each step names the window it expects and
// closes it. Whatever opened out of turn is recorded and closed.
class ModalScript {
public:
    using Step = std::function<void(QWidget* window)>;
    ModalScript() {
        QObject::connect(&poll_, &QTimer::timeout, [this] { tick(); });
        poll_.start(1);
    }
    void expect(const QString& window, Step step) { steps_.push_back({window, std::move(step)}); }
    QStringList opened;
    bool done() const { return steps_.empty(); }

private:
    void tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == last_) return;
        last_ = modal;
        opened << modal->objectName();
        // The same window may open again later (a second save).
        QTimer::singleShot(0, &poll_, [this] { last_ = nullptr; });
        if (steps_.empty() || steps_.front().first != modal->objectName()) {
            modal->close();
            return;
        }
        Step step = std::move(steps_.front().second);
        steps_.pop_front();
        step(modal);
    }
    QTimer poll_;
    QPointer<QWidget> last_;
    std::deque<std::pair<QString, Step>> steps_;
};
