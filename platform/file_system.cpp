#include "file_system.h"

#include "formats/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>
#endif

namespace {

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

QChar foldedChar(QChar c) {
    return c.toCaseFolded();
}

// Iterative match with one back-track point for the last `*`: linear in practice and never
// recursive, whatever the pattern.
bool matchPlain(const QString& name, const QString& pattern) {
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || foldedChar(pattern[p]) == foldedChar(name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

#ifdef Q_OS_UNIX
struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// Whether a directory holds an entry of exactly this name (no case folding), so two hard links
// can be told from one entry reached by a case-insensitive lookup.
bool hasExactEntry(const QByteArray& folder, const QByteArray& name) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.isEmpty() ? "." : folder.constData()));
    if (!dir) return false;
    while (const dirent* e = readdir(dir.get())) {
        if (name == e->d_name) return true;
    }
    return false;
}

QByteArray folderPart(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : path.left(slash));
}

QByteArray namePart(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}
#endif

bool listingOrderLess(const QByteArray& x, const QByteArray& y) {
    const qsizetype common = std::min(x.size(), y.size());
    for (qsizetype i = 0; i < common; ++i) {
        const auto cx = uchar(asciiUpper(x[i])), cy = uchar(asciiUpper(y[i]));
        if (cx != cy) return cx < cy;
    }
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;
}

}  // namespace

bool ListingOrderLess(const QString& a, const QString& b) {
    return listingOrderLess(QFile::encodeName(a), QFile::encodeName(b));
}

bool MatchesWildcard(const QString& name, const QString& pattern) {
    if (matchPlain(name, pattern)) return true;
    // "name.*" also stands for "name" without any extension.
    if (pattern.endsWith(QLatin1String(".*")) && !name.contains(u'.'))
        return matchPlain(name, pattern.chopped(2));
    return false;
}

std::vector<FolderEntry> ListFolder(const QString& pattern) {
    const qsizetype slash =
        std::max(pattern.lastIndexOf(u'/'), pattern.lastIndexOf(QDir::separator()));
    const QString folder = slash < 0 ? QStringLiteral(".") : pattern.left(slash + 1);
    const QString namePattern = pattern.mid(slash + 1);
    std::vector<FolderEntry> out;
    std::vector<std::pair<QByteArray, FolderEntry>> keyed;
    if (namePattern.isEmpty()) return out;

    const QDir dir(folder);
    // System includes broken links and special files on Unix: both become system entries.
    const QFileInfoList infos = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& info : infos) {
        const QString name = info.fileName();
        if (!MatchesWildcard(name, namePattern)) continue;
        FolderEntry e;
        e.name = name;
        e.isDirectory = info.isDir();
        e.isSystem = !e.isDirectory && !info.isFile();
        e.isHidden = name.startsWith(u'.') || info.isHidden();
        e.isReadOnly = !info.isWritable();
        e.size = info.isFile() ? info.size() : 0;
        keyed.emplace_back(QFile::encodeName(name), std::move(e));
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return listingOrderLess(a.first, b.first); });
    out.reserve(keyed.size());
    for (auto& k : keyed) out.push_back(std::move(k.second));
    return out;
}

bool FolderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool CreateFolder(const QString& path) {
    return !path.isEmpty() && QDir().mkdir(path);
}

std::optional<qint64> FileSizeOf(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || info.isDir()) return std::nullopt;
    return info.size();
}

bool RemoveFile(const QString& path) {
    return QFile::remove(path);
}

bool RenameNoReplace(const QString& from, const QString& to) {
#ifdef Q_OS_UNIX
    const QByteArray src = QFile::encodeName(from), dst = QFile::encodeName(to);
    if (src.isEmpty() || dst.isEmpty()) return false;
    struct stat s {
    }, d{};
    if (lstat(src.constData(), &s) != 0) return false;
    if (lstat(dst.constData(), &d) == 0) {
        if (s.st_dev != d.st_dev || s.st_ino != d.st_ino) return false;
        const QString srcFolder = QFileInfo(QFile::decodeName(folderPart(src))).canonicalFilePath();
        const QString dstFolder = QFileInfo(QFile::decodeName(folderPart(dst))).canonicalFilePath();
        if (srcFolder != dstFolder) return false;
        if (namePart(src) == namePart(dst)) return true;  // the very same entry: nothing to do
        // A new name that no entry carries exactly reached the old entry through a
        // case-insensitive lookup: the file system changes the case in place. Otherwise the
        // two names are two hard links, and the new one is taken.
        if (hasExactEntry(folderPart(dst), namePart(dst))) return false;
        return ::rename(src.constData(), dst.constData()) == 0;
    }
#ifdef __linux__
    if (renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
    // File systems without RENAME_NOREPLACE: a hard link fails when the name is taken.
    if (link(src.constData(), dst.constData()) == 0) {
        if (unlink(src.constData()) == 0) return true;
        unlink(dst.constData());
        return false;
    }
    if (errno == EEXIST) return false;
    // No hard links either (FAT, folders): the check above is the best left.
    if (QFileInfo::exists(to)) return false;
    return ::rename(src.constData(), dst.constData()) == 0;
#else
    if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath() &&
        QFileInfo::exists(to))
        return from == to || QFile::rename(from, to);
    return QFile::rename(from, to);
#endif
}

WriteOutcome NameStagedFile(StagedFile& file) {
    if (RenameNoReplace(file.temporary(), file.path())) {
        file.release();
        return WriteOutcome::Written;
    }
    if (NameTaken(file.path())) {
        file.drop();
        return WriteOutcome::AlreadyExisted;
    }
    throw PixError(CannotCreateFileText(file.path()));
}
