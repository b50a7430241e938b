#pragma once
// Peak resident memory of the test process, for tests that check a claim in a file's header
// does not turn into memory the data never fills.

#include <QFile>

// Sets the peak back to the memory resident now; false where the kernel does not allow it.
inline bool ResetPeakResident() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// A "Vm…:" line of /proc/self/status in MiB, or -1 where /proc does not tell it.
inline long StatusMiB(const QByteArray& field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return long(line.mid(field.size() + 1).trimmed().split(' ')[0].toLongLong() / 1024);
    return -1;
}

inline long PeakResidentMiB() { return StatusMiB("VmHWM"); }
inline long ResidentMiB() { return StatusMiB("VmRSS"); }
