#pragma once
// Whole-file reading and writing: one open, one read or write, closed before returning. Every
// decoder reads through ReadFileBytes and every writer writes through WriteWholeFile, so they
// all fail the same safe way.

#include "formats/write_outcome.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

class QIODevice;

// The file's bytes; throws PixError("Cannot open file <path>") when it cannot be opened or read
// (a folder, a missing file). Never creates anything.
QByteArray ReadFileBytes(const QString& path);

// Writes a whole file and closes it. mayReplace false never touches an existing file; true
// replaces it only once the new content is complete and flushed, so a failed write leaves the
// old file whole. Throws PixError("Cannot create file %s") on any failure, leaving no partial
// file of its own behind.
void WriteWholeFile(const QString& path, const QByteArray& bytes, bool mayReplace);
// The same for content written as it is made (a large picture need not exist twice in memory):
// writeContent writes everything to the open file. A PixError it throws, or any failed write,
// ends in "Cannot create file %s" with the same guarantees.
void WriteWholeFile(const QString& path, const std::function<void(QIODevice& out)>& writeContent,
                    bool mayReplace);

// Whether a file, folder or link (a dangling one too) has the name.
bool NameTaken(const QString& path);

// The one rule for outputs that never replace anything: a name already taken (a file, a folder,
// a link, a dangling one too) is left alone and gives AlreadyExisted, as does a file that
// appears while this one is written; otherwise the file is written whole and gives Written.
// Any other failure throws as WriteWholeFile does. While a NewFileStaging lives on the calling
// thread, the file is written whole under a temporary name instead and kept there.
WriteOutcome WriteNewFile(const QString& path, const QByteArray& bytes);
WriteOutcome WriteNewFile(const QString& path, const std::function<void(QIODevice& out)>& writeContent);

// A new file written whole under a hidden temporary name in its folder, waiting to be given its
// own name (RenameNoReplace) or dropped. Dropping it removes the temporary, so an abandoned
// file leaves nothing half-made behind. Move-only.
class StagedFile {
public:
    StagedFile(QString path, QString temporary);
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const QString& path() const { return path_; }            // the name it is meant to have
    const QString& temporary() const { return temporary_; }  // empty once released
    // The temporary was given its name: nothing is left to remove.
    void release() { temporary_.clear(); }
    // Removes the temporary now.
    void drop();

private:
    QString path_;
    QString temporary_;
};

// Holds back the new files of the thread it lives on: WriteNewFile there stages each one (a name
// already taken still gives AlreadyExisted at once, since nothing here ever frees a name) and
// gives Written for it, so that whoever takes the staged files can name them in an order of its
// own. Several threads can write side by side and their files appear in one fixed order. Files
// not taken are dropped with it. Scopes nest.
class NewFileStaging {
public:
    NewFileStaging();
    ~NewFileStaging();
    NewFileStaging(const NewFileStaging&) = delete;
    NewFileStaging& operator=(const NewFileStaging&) = delete;

    std::vector<StagedFile> take();

private:
    friend WriteOutcome WriteNewFile(const QString&, const std::function<void(QIODevice&)>&);
    void stage(const QString& path, const std::function<void(QIODevice& out)>& writeContent);

    NewFileStaging* previous_;
    std::vector<StagedFile> files_;
};
