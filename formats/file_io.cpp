#include "formats/file_io.h"

#include "formats/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <utility>

namespace {
thread_local NewFileStaging* threadStaging = nullptr;
}

QByteArray ReadFileBytes(const QString& path) {
    const auto cannotOpen = [&path] { return PixError(CannotOpenFileText(path)); };
    if (QFileInfo(path).isDir()) throw cannotOpen();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw cannotOpen();
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) throw cannotOpen();
    return bytes;
}

void WriteWholeFile(const QString& path, const QByteArray& bytes, bool mayReplace) {
    WriteWholeFile(
        path,
        [&bytes, &path](QIODevice& out) {
            if (out.write(bytes) != bytes.size()) throw PixError(CannotCreateFileText(path));
        },
        mayReplace);
}

void WriteWholeFile(const QString& path, const std::function<void(QIODevice& out)>& writeContent,
                    bool mayReplace) {
    const auto cannotCreate = [&path] { return PixError(CannotCreateFileText(path)); };
    // True when the content went out whole; QFile keeps the first failed write as its error.
    const auto produce = [&writeContent](QFileDevice& file) {
        try {
            writeContent(file);
        } catch (const PixError&) {
            return false;
        }
        return file.error() == QFileDevice::NoError && file.flush();
    };
    const QFileInfo info(path);
    if (mayReplace && info.exists() && !info.isFile()) {
        // A device: a new file renamed over it would replace the device node itself.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) throw cannotCreate();
        if (!produce(file)) throw cannotCreate();
        file.close();
        if (file.error() != QFileDevice::NoError) throw cannotCreate();
        return;
    }
    if (mayReplace) {
        // The old file stays whole until the new one is complete. commit() alone lets a failed
        // flush of the last bytes pass (a full disk, /dev/full), hence the flush in produce.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) throw cannotCreate();
        if (!produce(file)) {
            file.cancelWriting();
            file.commit();
            throw cannotCreate();
        }
        if (!file.commit()) throw cannotCreate();
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) throw cannotCreate();
    if (!produce(file)) {
        file.close();
        file.remove();  // ours, half written
        throw cannotCreate();
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        file.remove();
        throw cannotCreate();
    }
}

bool NameTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

WriteOutcome WriteNewFile(const QString& path, const QByteArray& bytes) {
    return WriteNewFile(path, [&bytes, &path](QIODevice& out) {
        if (out.write(bytes) != bytes.size()) throw PixError(CannotCreateFileText(path));
    });
}

WriteOutcome WriteNewFile(const QString& path, const std::function<void(QIODevice& out)>& writeContent) {
    if (NameTaken(path)) return WriteOutcome::AlreadyExisted;
    if (threadStaging) {
        threadStaging->stage(path, writeContent);
        return WriteOutcome::Written;
    }
    try {
        WriteWholeFile(path, writeContent, false);
    } catch (const PixError&) {
        // The write never opens a taken name: one that is taken now appeared meanwhile.
        if (NameTaken(path)) return WriteOutcome::AlreadyExisted;
        throw;
    }
    return WriteOutcome::Written;
}

// ---- staged new files ------------------------------------------------------------------------

StagedFile::StagedFile(QString path, QString temporary)
    : path_(std::move(path)), temporary_(std::move(temporary)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::exchange(other.temporary_, QString())) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        drop();
        path_ = std::move(other.path_);
        temporary_ = std::exchange(other.temporary_, QString());
    }
    return *this;
}

StagedFile::~StagedFile() {
    drop();
}

void StagedFile::drop() {
    if (!temporary_.isEmpty()) QFile::remove(temporary_);
    temporary_.clear();
}

NewFileStaging::NewFileStaging() : previous_(threadStaging) {
    threadStaging = this;
}

NewFileStaging::~NewFileStaging() {
    threadStaging = previous_;
}

std::vector<StagedFile> NewFileStaging::take() {
    return std::exchange(files_, {});
}

void NewFileStaging::stage(const QString& path,
                           const std::function<void(QIODevice& out)>& writeContent) {
    // In the target's folder, so that naming it is a rename on one file system; hidden, so a
    // folder listing never takes it for a picture; a fixed short name, so a long target name
    // cannot make it too long.
    const QString folder = QFileInfo(path).absolutePath();
    for (int attempt = 0;; ++attempt) {
        const QString temporary = QDir(folder).filePath(
            QStringLiteral(".pixolet-%1.part")
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (NameTaken(temporary) && attempt < 16) continue;
        try {
            WriteWholeFile(temporary, writeContent, false);
        } catch (const PixError&) {
            // The message names the file the user asked for, not our temporary.
            throw PixError(CannotCreateFileText(path));
        }
        files_.emplace_back(path, temporary);
        return;
    }
}
