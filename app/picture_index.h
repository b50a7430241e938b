#pragma once
// The picture index: a framed web page in the images' own folder whose menu links to the JPEG
// and GIF pictures by name, or to the one picked image by its full path. No window here.

#include "app/selection.h"

#include <QString>
#include <QStringList>

// The folder the pages go into: the picked folder, or the folder of the one picked image.
QString PictureIndexBaseFolder(const Selection& selection);

// The pages' lines, apart from the menu's link lines.
QStringList PictureIndexMainPageLines();
QStringList PictureIndexMenuHeadLines();
// One menu line linking target (a name or a full path) with text (a file name).
QString PictureIndexLinkLine(const QString& target, const QString& text);

// Writes "main.html" and "menu.html" into the base folder, replacing them. A folder's menu lists
// its plain *.JPG files, then its plain *.GIF files, each in listing order. Link lines that
// cannot be listed or written show an error box and the pages written so far stay; the pages'
// first lines that cannot be written throw.
void WritePictureIndexPages(const Selection& selection);
