#pragma once
// One digest of a folder's files, names and bytes, hidden ones included: two runs that wrote the
// same files compare equal, and a temporary left behind shows.

#include "formats/file_io.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStringList>

inline QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

inline QByteArray FolderDigest(const QString& folder) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& name : FolderEntries(folder)) {
        hash.addData(name.toUtf8());
        hash.addData(ReadFileBytes(folder + QLatin1Char('/') + name));
    }
    return hash.result();
}
