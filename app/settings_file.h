#pragma once
// The settings file: a plain INI text of "[Section]" lines and "key=value" lines. Sections and
// keys match without regard to letter case and keep the spelling found in the file; lines the
// program does not know are kept as they are. Every call opens the file and releases it again:
// nothing is cached, and reading never creates the file.

#include <QString>

class IniFile {
public:
    explicit IniFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // A missing file, section or key, or a file that cannot be read, gives the default.
    QString readString(const QString& section, const QString& key, const QString& fallback) const;
    // Decimal, with an optional sign; anything else gives the default.
    int readInteger(const QString& section, const QString& key, int fallback) const;
    // Any non-zero integer is true.
    bool readBool(const QString& section, const QString& key, bool fallback) const;

    // Sets the key, adding it to its section, or the section at the end of the file. The file
    // is rewritten through a new file beside it, so a failure never leaves half a file.
    // Throws PixError "Unable to write to <path>" when it cannot be written.
    void writeString(const QString& section, const QString& key, const QString& value) const;
    void writeInteger(const QString& section, const QString& key, int value) const;
    void writeBool(const QString& section, const QString& key, bool value) const;

private:
    QString path_;
};

// The size of a remembered window: keys "W" and "H" of the section named after the window in
// the settings file; 0 when absent.
int ReadSavedWidth(const QString& settingsFile, const QString& section);
int ReadSavedHeight(const QString& settingsFile, const QString& section);
void SaveWindowSize(const QString& settingsFile, const QString& section, int width, int height);
