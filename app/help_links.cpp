#include "help_links.h"

#include "platform/desktop.h"
#include "platform/dialogs.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

const QString kNoBrowserForHelp = QStringLiteral(
    "You cannot view this file because you do not have a default web browser setup. You can "
    "still view this file by opening your web browser and pointing to the file index.htm which "
    "is located in your install directory.");
// The message names "download.htm" although the file is "download.html": users were told so.
const QString kNoBrowserForDownloads = QStringLiteral(
    "You cannot view this file because you do not have a default web browser setup. You can "
    "still view this file by opening your web browser and pointing to the file download.htm "
    "which is located in your install directory, or view online at ");
const QString kNoMailProgram = QStringLiteral(
    "You cannot view this file because you do not have a default email software setup. Please "
    "send your questions to support at ");
const QString kSupportNote = QStringLiteral(
    "Please send your detailed question and we will gladly assist you. Please be sure to include "
    "the software title and the version you are using (click the About button to get the "
    "version).");

}  // namespace

void ShowHelpPage() {
    if (!desktop().openFile(ProgramFileFolder() + QStringLiteral("index.htm")))
        dialogs().plain(kNoBrowserForHelp);
}

void ShowDownloadsPage() {
    if (!desktop().openFile(ProgramFileFolder() + QStringLiteral("download.html")))
        dialogs().plain(kNoBrowserForDownloads + kMakerWebAddress);
}

QString SupportMailLink() {
    QUrl link;
    link.setScheme(QStringLiteral("mailto"));
    link.setPath(kSupportAddress);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"),
                       QStringLiteral("Pixolet %1 support question").arg(kProgramVersion));
    link.setQuery(query);
    return link.toString(QUrl::FullyEncoded);
}

void WriteToSupport() {
    if (!desktop().openLink(SupportMailLink())) dialogs().plain(kNoMailProgram + kSupportAddress);
    dialogs().information(kSupportNote);
}
