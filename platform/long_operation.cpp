#include "long_operation.h"

#include "error_report.h"

#include <vector>

namespace {

int depth = 0;
std::vector<std::function<void()>> deferred;

}  // namespace

LongOperation::LongOperation() {
    ++depth;
}

LongOperation::~LongOperation() {
    if (--depth > 0) return;
    // An action may start another long operation and defer again: take the list first.
    std::vector<std::function<void()>> actions;
    actions.swap(deferred);
    // Nothing may escape a destructor; a failing action gets the error report.
    for (auto& action : actions) RunGuarded(action);
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
