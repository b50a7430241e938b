#include "settings_file.h"

#include "formats/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <climits>
#include <optional>

namespace {

// Beyond this a "settings file" is something else; it reads as defaults and is never
// rewritten (rewriting means holding it in memory twice).
constexpr qint64 kLargestSettingsFile = 256 * 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Views into the file's bytes: a huge file is scanned without copying its lines.
QByteArrayView trimmed(const char* begin, const char* end) {
    while (begin < end && isBlank(*begin)) ++begin;
    while (end > begin && isBlank(end[-1])) --end;
    return QByteArrayView(begin, end - begin);
}

bool sameName(QByteArrayView inFile, const QByteArray& wantedUtf8, const QString& wanted) {
    if (inFile.size() == wantedUtf8.size()) {
        bool ascii = true;
        for (qsizetype i = 0; i < inFile.size() && ascii; ++i) {
            const auto a = uchar(inFile[i]), b = uchar(wantedUtf8[i]);
            if (a >= 0x80 || b >= 0x80)
                ascii = false;
            else if (QChar::toUpper(char16_t(a)) != QChar::toUpper(char16_t(b)))
                return false;
        }
        if (ascii) return true;
    }
    return QString::fromUtf8(inFile.data(), inFile.size()).compare(wanted, Qt::CaseInsensitive) ==
           0;
}

// One line of the file: [start, contentEnd) without its line end, [start, end) with it.
struct Line {
    qsizetype start = 0, contentEnd = 0, end = 0;
};

class IniText {
public:
    explicit IniText(const QByteArray& bytes) : bytes_(bytes) {}

    bool nextLine(Line& line) const {
        if (line.end >= bytes_.size()) return false;
        line.start = line.end;
        const qsizetype nl = bytes_.indexOf('\n', line.start);
        line.end = nl < 0 ? bytes_.size() : nl + 1;
        line.contentEnd = nl < 0 ? bytes_.size() : nl;
        if (line.contentEnd > line.start && bytes_[line.contentEnd - 1] == '\r') --line.contentEnd;
        return true;
    }

    // The section name of a "[name]" line; none for other lines.
    std::optional<QByteArrayView> sectionName(const Line& line) const {
        const QByteArrayView text = content(line);
        if (!text.startsWith('[')) return std::nullopt;
        const qsizetype close = text.indexOf(']');
        const qsizetype stop = close < 0 ? text.size() : close;
        return trimmed(text.data() + 1, text.data() + stop);
    }

    // The key of a "key=value" line; none for other lines and comments.
    std::optional<QByteArrayView> keyName(const Line& line, QByteArray* value = nullptr) const {
        const QByteArrayView text = content(line);
        if (text.startsWith(';') || text.startsWith('[')) return std::nullopt;
        const qsizetype eq = text.indexOf('=');
        if (eq <= 0) return std::nullopt;
        const QByteArrayView key = trimmed(text.data(), text.data() + eq);
        if (key.isEmpty()) return std::nullopt;
        if (value) *value = trimmed(text.data() + eq + 1, text.data() + text.size()).toByteArray();
        return key;
    }

    bool isBlankLine(const Line& line) const { return content(line).isEmpty(); }

    // Finds the first section of this name: the line after its header, or none.
    std::optional<Line> findSection(const QString& section, Line* header = nullptr) const {
        const QByteArray wanted = section.toUtf8();
        Line line;
        while (nextLine(line)) {
            const auto name = sectionName(line);
            if (name && sameName(*name, wanted, section)) {
                if (header) *header = line;
                return line;
            }
        }
        return std::nullopt;
    }

private:
    QByteArrayView content(const Line& line) const {
        return trimmed(bytes_.constData() + line.start, bytes_.constData() + line.contentEnd);
    }
    const QByteArray& bytes_;
};

std::optional<QByteArray> readWholeFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return QByteArray();
    if (!info.isFile() || info.size() > kLargestSettingsFile) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

std::optional<QByteArray> readValue(const QString& path, const QString& section,
                                    const QString& key) {
    if (!QFileInfo::exists(path)) return std::nullopt;
    const auto bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    const IniText ini(*bytes);
    auto line = ini.findSection(section);
    if (!line) return std::nullopt;
    const QByteArray wanted = key.toUtf8();
    while (ini.nextLine(*line)) {
        if (ini.sectionName(*line)) break;
        QByteArray value;
        const auto name = ini.keyName(*line, &value);
        if (name && sameName(*name, wanted, key)) return value;
    }
    return std::nullopt;
}

std::optional<int> parseInteger(const QByteArray& text) {
    if (text.isEmpty()) return std::nullopt;
    qsizetype i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > qint64(1) << 31) return std::nullopt;
    }
    if (text[0] == '-') value = -value;
    if (value < INT_MIN || value > INT_MAX) return std::nullopt;
    return int(value);
}

[[noreturn]] void failWrite(const QString& path) {
    throw PixError(QStringLiteral("Unable to write to %1").arg(path));
}

}  // namespace

QString IniFile::readString(const QString& section, const QString& key,
                            const QString& fallback) const {
    const auto value = readValue(path_, section, key);
    return value ? QString::fromUtf8(*value) : fallback;
}

int IniFile::readInteger(const QString& section, const QString& key, int fallback) const {
    const auto value = readValue(path_, section, key);
    if (!value) return fallback;
    return parseInteger(*value).value_or(fallback);
}

bool IniFile::readBool(const QString& section, const QString& key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) const {
    const auto existing = readWholeFile(path_);
    if (!existing) failWrite(path_);  // never replace what could not be read
    // The new file would replace a file the user made read-only; refuse as a direct write would.
    if (QFileInfo::exists(path_) && !QFileInfo(path_).isWritable()) failWrite(path_);
    QByteArray bytes = *existing;
    const IniText ini(bytes);

    // New lines follow the file's own line ends.
    const qsizetype firstNl = bytes.indexOf('\n');
    const QByteArray eol = (firstNl > 0 && bytes[firstNl - 1] == '\r') ? "\r\n" : "\n";
    // A line end inside a value would start a line of its own.
    QByteArray valueBytes = value.toUtf8();
    valueBytes.replace('\r', "").replace('\n', "");
    const QByteArray wantedKey = key.toUtf8();

    Line header;
    if (auto line = ini.findSection(section, &header)) {
        Line lastFilled = header;
        std::optional<Line> found;
        while (ini.nextLine(*line)) {
            if (ini.sectionName(*line)) break;
            const auto name = ini.keyName(*line);
            if (name && sameName(*name, wantedKey, key)) {
                found = *line;
                break;
            }
            if (!ini.isBlankLine(*line)) lastFilled = *line;
        }
        if (found) {
            const QByteArray keyAsWritten = ini.keyName(*found)->toByteArray();
            bytes.replace(found->start, found->contentEnd - found->start,
                          keyAsWritten + '=' + valueBytes);
        } else {
            QByteArray insert = wantedKey + '=' + valueBytes + eol;
            if (lastFilled.end == lastFilled.contentEnd) insert.prepend(eol);  // no line end yet
            bytes.insert(lastFilled.end, insert);
        }
    } else {
        if (!bytes.isEmpty() && !bytes.endsWith('\n')) bytes += eol;
        bytes += '[' + section.toUtf8() + ']' + eol + wantedKey + '=' + valueBytes + eol;
    }

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) failWrite(path_);
    // commit() alone lets a failed flush of the last bytes pass and would replace the file
    // with an empty one on a full disk.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        file.commit();
        failWrite(path_);
    }
    if (!file.commit()) failWrite(path_);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) const {
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) const {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

int ReadSavedWidth(const QString& settingsFile, const QString& section) {
    return IniFile(settingsFile).readInteger(section, QStringLiteral("W"), 0);
}

int ReadSavedHeight(const QString& settingsFile, const QString& section) {
    return IniFile(settingsFile).readInteger(section, QStringLiteral("H"), 0);
}

void SaveWindowSize(const QString& settingsFile, const QString& section, int width, int height) {
    const IniFile ini(settingsFile);
    ini.writeInteger(section, QStringLiteral("W"), width);
    ini.writeInteger(section, QStringLiteral("H"), height);
}
