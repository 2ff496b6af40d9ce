#pragma once

// This process's open descriptors and resident memory, for tests that check
// that long runs leave nothing behind (Linux).

#include <QDir>
#include <QFile>

namespace testing_support {

inline int OpenDescriptors() {
    return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size();
}

inline long ResidentKilobytes() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

} // namespace testing_support
