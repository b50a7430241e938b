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
    // Runs the action now when no long operation runs. Otherwise it waits: once the outermost
    // operation has ended, it runs from the event loop (never from the operation's destructor,
    // which may run while an exception unwinds through the handler that the action would close)
    // inside the general error report. An action whose turn comes while another operation runs
    // waits for that one too.
    static void whenFinished(std::function<void()> action);
};
