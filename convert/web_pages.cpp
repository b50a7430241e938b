#include "web_pages.h"

#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/text_utils.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"

#include <QFileInfo>
#include <exception>

const QString kHtmlWriteFailed = QStringLiteral(
    "An error occurred while writing the html file. This may have happened if you have your "
    "browser open. Make sure you click the X in the upper right hand corner of your browser to "
    "close it, then try again.");

namespace {

const QString kTitleLine = QStringLiteral("<HTML><HEAD><TITLE>My Pictures</TITLE></HEAD>");
const QString kBodyLine = QStringLiteral(
    "<BODY BGCOLOR=\"EEEEEE\" TEXT=\"#000000\" LINK=\"#000000\" vlink=\"#AA0055\" "
    "alink=\"#AA0055\"><br>");
const QString kEndLine = QStringLiteral("</BODY></HTML>");

const QString kAskForWebpage = QStringLiteral(
    "We will now automatically create a webpage for you, containing thumbnail images that show "
    "full sized images when clicked. Click YES to create the webpage, click no to cancel. ");
const QString kWebpageShown = QStringLiteral(
    "Your webpage is now displayed for you. This is exactly how it will look and work when "
    "uploaded to your website. To upload your new webpage to your website, simply upload ALL "
    "files located in folder: ");
const QString kNoJpegThumbnails = QStringLiteral(
    "No JPG thumbnails were created. To create a webpage of thumbnails, save your thumbnail "
    "images as JPG. Once you save your thumbnails as JPG, a webpage will be generated and "
    "displayed.");
const QString kNoBrowser = QStringLiteral(
    "You cannot view this file because you do not have a default web browser setup. You can "
    "still view this file by opening your web browser and pointing to the file index.html which "
    "is located at ");

void appendEntity(QString& out, char32_t c) {
    switch (c) {
        case U'&':
            out += QLatin1String("&amp;");
            return;
        case U'<':
            out += QLatin1String("&lt;");
            return;
        case U'>':
            out += QLatin1String("&gt;");
            return;
        case U'"':
            out += QLatin1String("&quot;");
            return;
        default:
            out += QStringLiteral("&#%1;").arg(quint32(c));
            return;
    }
}

bool needsEntity(char32_t c) {
    return c == U'&' || c == U'<' || c == U'>' || c == U'"';
}

// A control character would split a page line in two; it cannot stand as itself.
bool isControl(char32_t c) {
    return c < 0x20 || c == 0x7F;
}

}  // namespace

QByteArray PageBytes(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toLatin1();
        bytes += "\r\n";
    }
    return bytes;
}

QString EscapeLinkText(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (char32_t c : name.toUcs4()) {
        if (needsEntity(c) || isControl(c) || c > 0x7E)
            appendEntity(out, c);
        else
            out += QChar(char16_t(c));
    }
    return out;
}

QString EscapeLinkTarget(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (char32_t c : name.toUcs4()) {
        if (needsEntity(c)) {
            appendEntity(out, c);
        } else if (c == U'%' || c == U'#' || c == U'?' || isControl(c) || c > 0x7E) {
            const QByteArray utf8 = QString::fromUcs4(&c, 1).toUtf8();
            for (unsigned char byte : utf8)
                out += QStringLiteral("%%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        } else {
            out += QChar(char16_t(c));
        }
    }
    return out;
}

QStringList IndexPageLines() {
    return {kTitleLine,
            QStringLiteral(
                "<FRAMESET COLS=\"23,77\" framespacing=\"0\" frameborder=\"0\" border=\"0\">"
                "<FRAME NAME=\"menu\" SRC=\"menu.html\" SCROLLING=\"AUTO\" MARGINWIDTH=10 "
                "NORESIZE><FRAME NAME=\"main\" SRC=\"main.html\" SCROLLING=\"AUTO\" NORESIZE "
                "MARGINHEIGHT=2 MARGINWIDTH=20>"),
            QStringLiteral("</FRAMESET><NOFRAMES>Your browser does not support frames. Please "
                           "download the latest browser version. </NOFRAMES></HTML>")};
}

QStringList ThumbnailMainPageLines() {
    return {kTitleLine, kBodyLine,
            QStringLiteral("<Center><br><br><br><br><br><Font Size=\"4\">Click the thumbnail "
                           "images on your left</Font></Center>"),
            kEndLine};
}

QStringList ThumbnailMenuHeadLines() {
    return {kTitleLine, kBodyLine,
            QStringLiteral("<Font Size=\"3\"><Center><b>PICTURE MENU</b></Font><p>")};
}

QString ThumbnailMenuLastLine() {
    return QStringLiteral("</Center></BODY></HTML>");
}

QString ThumbnailLinkLine(const QString& thumbnailName) {
    const QString fullSize = QStringLiteral("IT_") + thumbnailName.mid(2);
    return QStringLiteral("<a href=\"") + EscapeLinkTarget(fullSize) +
           QStringLiteral("\" target=\"main\"><img src=\"") + EscapeLinkTarget(thumbnailName) +
           QStringLiteral("\"></a><br>");
}

void WritePage(const QString& path, const QStringList& lines) {
    const QFileInfo taken(path);
    if (taken.isSymLink() || (taken.exists() && !taken.isFile()))
        throw PixError(CannotCreateFileText(path));
    WriteWholeFile(path, PageBytes(lines), true);
}

bool CopyFileBytes(const QString& sourcePath, const QString& targetPath) {
    try {
        WriteWholeFile(targetPath, ReadFileBytes(sourcePath), true);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void CopyThumbnailAndPicture(const QString& storedImagesFolder, const QString& webpagesFolder,
                             const QString& sourceFolder, const QString& fileName) {
    if (AsciiUpperCase(ExtractFileExtension(fileName)) != QLatin1String(".JPG")) return;
    CopyFileBytes(storedImagesFolder + ChangeFileExtension(fileName, QStringLiteral(".JPG")),
                  webpagesFolder + QStringLiteral("T_") + fileName);
    CopyFileBytes(sourceFolder + fileName, webpagesFolder + QStringLiteral("IT_") + fileName);
}

void WriteMenuPage(const QString& path, const QStringList& head,
                   const std::function<QStringList()>& makeLinks, const QString& closing) {
    WritePage(path, head);
    try {
        QStringList lines = head;
        lines += makeLinks();
        lines += closing;
        WritePage(path, lines);
    } catch (const std::exception&) {
        dialogs().error(kHtmlWriteFailed);
    }
}

void WriteThumbnailPages(const QString& webpagesFolder) {
    WritePage(webpagesFolder + QStringLiteral("main.html"), ThumbnailMainPageLines());
    WriteMenuPage(
        webpagesFolder + QStringLiteral("menu.html"), ThumbnailMenuHeadLines(),
        [&webpagesFolder] {
            QStringList links;
            for (const FolderEntry& entry : ListFolder(webpagesFolder + QStringLiteral("T_*.JPG")))
                if (entry.isPlainFile()) links += ThumbnailLinkLine(entry.name);
            return links;
        },
        ThumbnailMenuLastLine());
}

void WriteIndexPageAndShow(const QString& folder) {
    const QString path = folder + QStringLiteral("index.html");
    WritePage(path, IndexPageLines());
    if (!desktop().openFile(path)) dialogs().plain(kNoBrowser + path);
}

void OfferThumbnailWebpage(const QString& webpagesFolder, bool jpegOutput) {
    if (!dialogs().confirm(kAskForWebpage, MessageKind::Information)) return;
    WriteThumbnailPages(webpagesFolder);
    if (jpegOutput) {
        WriteIndexPageAndShow(webpagesFolder);
        dialogs().plain(kWebpageShown + webpagesFolder);
    } else {
        dialogs().plain(kNoJpegThumbnails);
    }
}
