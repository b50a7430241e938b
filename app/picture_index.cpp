#include "picture_index.h"

#include "convert/web_pages.h"
#include "formats/text_utils.h"
#include "platform/file_system.h"

namespace {

const QString kTitleLine = QStringLiteral("<HTML><HEAD><TITLE>My Pictures</TITLE></HEAD>");
const QString kBodyLine = QStringLiteral(
    "<BODY BGCOLOR=\"EEEEEE\" TEXT=\"#000000\" LINK=\"#000000\" vlink=\"#AA0055\" "
    "alink=\"#AA0055\"><br>");
const QString kEndLine = QStringLiteral("</BODY></HTML>");

}  // namespace

QString PictureIndexBaseFolder(const Selection& selection) {
    return selection.FolderSelected ? selection.SelectedFolder
                                    : ExtractFilePath(selection.SelectedImage);
}

QStringList PictureIndexMainPageLines() {
    return {kTitleLine, kBodyLine,
            QStringLiteral("<Center><br><br><br><br><br><Font Size=\"4\">Click the links on your "
                           "left to view</Font></Center>"),
            kEndLine};
}

QStringList PictureIndexMenuHeadLines() {
    return {kTitleLine, kBodyLine,
            QStringLiteral("<Font Size=\"3\"><b>PICTURE MENU</b></Font><p>")};
}

// The unmatched "</b>" is the page's own; browsers ignore it.
QString PictureIndexLinkLine(const QString& target, const QString& text) {
    return QStringLiteral("<a href=\"") + EscapeLinkTarget(target) +
           QStringLiteral("\" target=\"main\"><Font Size=\"2\">") + EscapeLinkText(text) +
           QStringLiteral("</Font></b></a><br>");
}

void WritePictureIndexPages(const Selection& selection) {
    const QString base = PictureIndexBaseFolder(selection);
    WritePage(base + QStringLiteral("main.html"), PictureIndexMainPageLines());
    WriteMenuPage(
        base + QStringLiteral("menu.html"), PictureIndexMenuHeadLines(),
        [&] {
            QStringList links;
            if (!selection.FolderSelected) {
                links += PictureIndexLinkLine(selection.SelectedImage,
                                              ExtractFileName(selection.SelectedImage));
                return links;
            }
            for (const char* pattern : {"*.JPG", "*.GIF"})
                for (const FolderEntry& entry : ListFolder(base + QLatin1String(pattern)))
                    if (entry.isPlainFile()) links += PictureIndexLinkLine(entry.name, entry.name);
            return links;
        },
        kEndLine);
}
