#pragma once
// The main window's service buttons without the window: the help and downloads documents of the
// program folder, and the e-mail to support, each with its message for a desktop that cannot
// open it.

#include <QString>

// The maker's addresses and the program's version, as the about window and the messages show
// them.
inline const QString kSupportAddress = QStringLiteral("support@pixolet.example");
inline const QString kMakerWebAddress = QStringLiteral("https://pixolet.example/");
inline const QString kProgramVersion = QStringLiteral("2.43");

// Help: opens "index.htm" of the program folder; explains where it is when that fails.
void ShowHelpPage();
// Downloads: opens "download.html" of the program folder; explains where it is when that fails.
void ShowDownloadsPage();
// Support: a new e-mail to support with a subject naming the program and its version; the
// address when no mail program opens; then always the note on what to write.
void WriteToSupport();
// The "mailto:" link WriteToSupport hands to the desktop.
QString SupportMailLink();
