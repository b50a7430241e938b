#pragma once
// What the codecs may ask of the user interface. The program installs a host at start-up that
// talks to Qt widgets; tests install one that records what was asked. formats/ never includes
// a QtWidgets header: this is its only way to the user.

#include <QString>

class FormatHost {
public:
    virtual ~FormatHost() = default;
    // Lets pending window messages run (a long decode keeps the windows live).
    virtual void processMessages() = 0;
    // Plain message box: the program's title, one OK button.
    virtual void showMessage(const QString& text) = 0;
    // The hourglass cursor; calls nest and are balanced by HourglassGuard.
    virtual void beginHourglass() = 0;
    virtual void endHourglass() = 0;
    // GIF decoding progress, a fraction from 0 to 1 (1 hides the progress window).
    virtual void gifProgress(double fraction) = 0;
};

// The host of the calling thread: its own while a ThreadFormatHost lives there, else the
// installed one, a silent one until the program or a test sets its own.
FormatHost& formatHost();
// Installs the program's host (not owned); nullptr restores the silent one.
void setFormatHost(FormatHost* host);

// Gives the calling thread a host of its own for its lifetime (not owned; scopes nest). A worker
// thread that decodes and writes must never reach the program's host, which talks to windows:
// it collects what it was asked here and hands that over as a value.
class ThreadFormatHost {
public:
    explicit ThreadFormatHost(FormatHost& host);
    ~ThreadFormatHost();
    ThreadFormatHost(const ThreadFormatHost&) = delete;
    ThreadFormatHost& operator=(const ThreadFormatHost&) = delete;

private:
    FormatHost* previous_;
};

// The program-wide GIF progress hook: forwards to the installed host.
void GifProgress(double fraction);

// Shows the hourglass for its lifetime, on throw too.
class HourglassGuard {
public:
    HourglassGuard() { formatHost().beginHourglass(); }
    ~HourglassGuard() { formatHost().endHourglass(); }
    HourglassGuard(const HourglassGuard&) = delete;
    HourglassGuard& operator=(const HourglassGuard&) = delete;
};
