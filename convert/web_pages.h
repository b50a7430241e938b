#pragma once
// The thumbnail web page: the copies made beside each thumbnail, the two pages of thumbnails
// and the frameset page that the picture index shares. No window here; the batch run calls the
// two steps, and the page texts are plain functions so they can be checked byte for byte.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Pages are 8-bit text with CR LF after every line, the last included, and no byte-order mark.
QByteArray PageBytes(const QStringList& lines);

// A file name as the text of a link: &, <, >, " as entities, anything outside printable ASCII
// as a numeric character reference, so the page stays 8-bit and shows the right name whatever
// encoding a browser guesses.
QString EscapeLinkText(const QString& name);
// A file name or path as a link target: the same four as entities, and %, #, ?, control
// characters and every byte of a non-ASCII character's UTF-8 form percent-encoded, so a name
// holding them still reaches its file. Everything else, blanks included, stays as it is.
QString EscapeLinkTarget(const QString& name);

// The frameset page joining "menu.html" and "main.html".
QStringList IndexPageLines();
// The thumbnail site's welcome page, its menu head and its closing line.
QStringList ThumbnailMainPageLines();
QStringList ThumbnailMenuHeadLines();
QString ThumbnailMenuLastLine();
// One menu line: the thumbnail T (a "T_" file name) linking to its full-size copy "IT_…".
QString ThumbnailLinkLine(const QString& thumbnailName);

// Writes a page, replacing a file of its name. A name held by a link, a folder, a pipe or a
// device is refused with "Cannot create file": a page written through a link would land outside
// its folder, and opening a pipe could wait for ever.
void WritePage(const QString& path, const QStringList& lines);

// Reads the whole source and writes it to target, replacing it. False on any failure, with no
// message: a missing copy only leaves a gap in the gallery.
bool CopyFileBytes(const QString& sourcePath, const QString& targetPath);

// The batch run's step after each file F of sourceFolder (the selected folder, ending with a
// separator) it converted, when the web page is wanted and the output is JPEG: for a .JPG
// source, copies the thumbnail just written into storedImagesFolder (or the one already there)
// to "T_" + F and the source to "IT_" + F in webpagesFolder. Folders end with a separator.
void CopyThumbnailAndPicture(const QString& storedImagesFolder, const QString& webpagesFolder,
                             const QString& sourceFolder, const QString& fileName);

// The batch run's step after its listing, when the web page is wanted and at least one file was
// converted: asks, then writes the pages; with JPEG output it opens them and says where they
// are, otherwise it says that no JPEG thumbnails were made (no index.html then).
void OfferThumbnailWebpage(const QString& webpagesFolder, bool jpegOutput);

// main.html and menu.html in webpagesFolder, the menu listing every "T_*.JPG" there. A failure
// while listing or writing the link lines shows an error box and keeps the menu's head; a
// failure before that throws.
void WriteThumbnailPages(const QString& webpagesFolder);

// Writes folder + "index.html" (replacing it) and asks the desktop to open it; when no browser
// opens, says where the page is. folder ends with a separator.
void WriteIndexPageAndShow(const QString& folder);

// The error box for link lines that could not be listed or written; shared with the picture
// index.
extern const QString kHtmlWriteFailed;

// Writes a menu page: head, then the link lines that makeLinks returns, then closing. The head
// is written first, so that when the link lines fail (makeLinks throws, or the whole page
// cannot be written) the error box is shown and the head stays; a head that cannot be written
// throws.
void WriteMenuPage(const QString& path, const QStringList& head,
                   const std::function<QStringList()>& makeLinks, const QString& closing);
