#include "formats/text_utils.h"

namespace {

// Where the file name of a path starts.
qsizetype fileNameStart(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path[i];
        if (IsPathSeparator(c)) return i + 1;
#ifdef Q_OS_WIN
        if (c == u':') return i + 1;
#endif
    }
    return 0;
}

// Index of the extension's dot, or -1.
qsizetype extensionStart(const QString& path) {
    const qsizetype nameStart = fileNameStart(path);
    for (qsizetype i = path.size() - 1; i >= nameStart; --i) {
        if (path[i] == u'.') return i;
    }
    return -1;
}

}  // namespace

bool IsPathSeparator(QChar c) {
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

QString AsciiUpperCase(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 'a' + 'A');
    }
    return out;
}

QString AsciiLowerCase(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() - 'A' + 'a');
    }
    return out;
}

QString ExtractFileExtension(const QString& path) {
    const qsizetype dot = extensionStart(path);
    return dot < 0 ? QString() : path.mid(dot);
}

QString ChangeFileExtension(const QString& path, const QString& extension) {
    const qsizetype dot = extensionStart(path);
    return (dot < 0 ? path : path.left(dot)) + extension;
}

QString ExtractFileName(const QString& path) { return path.mid(fileNameStart(path)); }

QString ExtractFilePath(const QString& path) { return path.left(fileNameStart(path)); }

QString TrimText(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].unicode() <= u' ') ++first;
    while (last > first && text[last - 1].unicode() <= u' ') --last;
    return text.mid(first, last - first);
}
