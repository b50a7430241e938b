#include "outside_tool.h"

#include <QHash>
#include <QStandardPaths>
#include <QStringList>

namespace tool {
const OutsideTool kPillow{"Pillow", "python3-pil", {"/usr/bin/python3"}, {"-c", "import PIL"}};
const OutsideTool kImageMagick{"ImageMagick", "imagemagick", {"/usr/bin/convert"}, {}};
const OutsideTool kCjpeg{"cjpeg", "libjpeg-turbo-progs", {"cjpeg"}, {}};
const OutsideTool kDjpeg{"djpeg", "libjpeg-turbo-progs", {"djpeg"}, {}};
const OutsideTool kTiffinfo{"tiffinfo", "libtiff-tools", {"tiffinfo"}, {}};
const OutsideTool kTiffcp{"tiffcp", "libtiff-tools", {"tiffcp"}, {}};
const OutsideTool kTiffdump{"tiffdump", "libtiff-tools", {"tiffdump"}, {}};
const OutsideTool kHeifConvert{"heif-convert", "libheif-examples", {"heif-convert"}, {}};
const OutsideTool kHeifEnc{"heif-enc", "libheif-examples", {"heif-enc"}, {}};
const OutsideTool kChromium{"Chromium", "chromium", {"chromium", "chromium-browser"}, {}};
const OutsideTool kUnshare{"unshare", "util-linux", {"unshare"}, {}};
}  // namespace tool

QString toolPath(const OutsideTool& tool) {
    static QHash<const OutsideTool*, QString> found;
    if (const auto it = found.constFind(&tool); it != found.constEnd()) return *it;
    QString path;
    for (const QString& program : tool.programs) {
        if (!programAvailable(program)) continue;
        if (tool.probe.isEmpty() || runProgram(program, tool.probe) == 0)
            path = program.startsWith('/') ? program : QStandardPaths::findExecutable(program);
        break;
    }
    found.insert(&tool, path);
    return path;
}

std::string missingToolsText(
    std::initializer_list<std::reference_wrapper<const OutsideTool>> tools) {
    QStringList missing;
    for (const OutsideTool& tool : tools) {
        if (!toolPath(tool).isEmpty()) continue;
        QString what = QLatin1String(tool.name) + QStringLiteral(" is missing");
        if (!tool.probe.isEmpty())
            what += QStringLiteral(" (%1 %2 failed)")
                        .arg(tool.programs.join('/'), tool.probe.join(' '));
        missing << what + QStringLiteral(": install the Debian package %1")
                              .arg(QLatin1String(tool.package));
    }
    if (missing.isEmpty()) return {};
    return (missing.join(QStringLiteral("; ")) +
            QStringLiteral(" (scripts/setup installs every package the tests use)"))
        .toStdString();
}
