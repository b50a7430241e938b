#pragma once
// A long loop that lets window messages run between its items (a batch, a rename run, a page of
// thumbnails) must not be cut short by a request that arrives meanwhile: such a request waits
// until the loop ends. QtCore only.

#include <functional>

class LongOperation {
public:
    LongOperation();
    ~LongOperation();
    LongOperation(const LongOperation&) = delete;
    LongOperation& operator=(const LongOperation&) = delete;

    static bool running();
    // Runs the action now when no long operation runs, otherwise once the outermost one ends.
    static void whenFinished(std::function<void()> action);
};
