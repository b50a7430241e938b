#include "long_operation.h"

#include "error_report.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <vector>

namespace {

int depth = 0;
std::vector<std::function<void()>> deferred;
bool turnPosted = false;

void runDeferred() {
    turnPosted = false;
    // A run that started before this turn came (inside a nested event loop) keeps them waiting.
    if (depth > 0) return;
    // An action may start another long operation and defer again: take the list first.
    std::vector<std::function<void()>> actions;
    actions.swap(deferred);
    for (auto& action : actions) RunGuarded(action);
}

void postDeferred() {
    if (deferred.empty() || turnPosted) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        // No event loop to wait for and no window to close: nothing is gained by waiting.
        runDeferred();
        return;
    }
    turnPosted = true;
    QMetaObject::invokeMethod(app, &runDeferred, Qt::QueuedConnection);
}

}  // namespace

LongOperation::LongOperation() {
    ++depth;
}

LongOperation::~LongOperation() {
    if (--depth == 0) postDeferred();
}

bool LongOperation::running() {
    return depth > 0;
}

void LongOperation::whenFinished(std::function<void()> action) {
    if (depth == 0)
        action();
    else
        deferred.push_back(std::move(action));
}
