#pragma once
// Peak resident memory of the test process, for tests that check a claim in a file's header
// does not turn into memory the data never fills.

#include <QFile>

// Sets the peak back to the memory resident now; false where the kernel does not allow it.
inline bool ResetPeakResident() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// The peak resident memory (VmHWM) in MiB, or -1 where /proc does not tell it.
inline long PeakResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return long(line.mid(6).trimmed().split(' ')[0].toLongLong() / 1024);
    return -1;
}

// The current resident memory (VmRSS) in MiB, or -1.
inline long ResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return long(line.mid(6).trimmed().split(' ')[0].toLongLong() / 1024);
    return -1;
}
