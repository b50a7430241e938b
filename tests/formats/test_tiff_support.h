#pragma once
// What the TIFF reader and writer tests share: the Pillow reference (tiff_reference.py beside
// this file) and a way to compare a bitmap with Pillow's RGB bytes.

#include "formats/bitmap.h"
#include "support/corpus.h"
#include "support/outside_tool.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <vector>

inline const QString kSystemPython = QStringLiteral("/usr/bin/python3");

inline QString tiffReferenceScript() {
    return QFileInfo(QStringLiteral(__FILE__)).absolutePath() + "/tiff_reference.py";
}

// One page as Pillow decoded it, with the tags that decide how our reader takes it.
struct PillowPage {
    int file = -1;
    int page = -1;
    bool ok = false;
    int width = 0, height = 0;
    long photometric = -1, compression = 1;
    std::vector<int> bitsPerSample;
    int samplesPerPixel = 1, planar = 1, fillOrder = 1;
    bool tiled = false, hasRowsPerStrip = false;
    std::vector<int> sampleFormat;
    QString mode;
    QByteArray rgb;  // R, G, B per pixel, rows top-down, no padding
};

inline std::vector<int> parseInts(const QString& text) {
    std::vector<int> out;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) out.push_back(part.toInt());
    return out;
}

// Pages of every file in order; a file Pillow cannot open gives one page with page == -1.
inline std::vector<PillowPage> describeWithPillow(const QStringList& files, const QString& dir) {
    QByteArray out;
    QStringList args{tiffReferenceScript(), "describe", dir};
    args += files;
    if (runProgram(kSystemPython, args, &out) != 0) return {};
    std::vector<PillowPage> pages;
    for (const QByteArray& line : out.split('\n')) {
        const QStringList f = QString::fromUtf8(line).split('\t');
        if (f.size() < 3) continue;
        PillowPage p;
        p.file = f[0].toInt();
        p.page = f[1].toInt();
        p.ok = f[2] == "ok" && f.size() >= 15;
        if (p.ok) {
            p.width = f[3].toInt();
            p.height = f[4].toInt();
            p.photometric = f[5].toLong();
            p.compression = f[6].toLong();
            p.bitsPerSample = parseInts(f[7]);
            p.samplesPerPixel = f[8].toInt();
            p.planar = f[9].toInt();
            p.fillOrder = f[10].toInt();
            p.tiled = f[11] == "1";
            p.hasRowsPerStrip = f[12] == "1";
            p.sampleFormat = parseInts(f[13]);
            p.mode = f[14];
            QFile rgb(QStringLiteral("%1/%2_%3.rgb").arg(dir).arg(p.file).arg(p.page));
            if (rgb.open(QIODevice::ReadOnly)) p.rgb = rgb.readAll();
        }
        pages.push_back(p);
    }
    return pages;
}

inline QByteArray rgbBytes(const Bitmap& bitmap) {
    QByteArray out;
    out.reserve(bitmap.width() * bitmap.height() * 3);
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb c = bitmap.pixelColor(x, y);
            out.append(char(qRed(c)));
            out.append(char(qGreen(c)));
            out.append(char(qBlue(c)));
        }
    }
    return out;
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
