#pragma once
// The Dialogs of the running program: Qt message boxes, input box and file dialogs, each modal
// over the window that is active when it opens.

#include "dialogs.h"

class QtDialogs final : public Dialogs {
public:
    void message(MessageKind kind, const QString& text) override;
    bool question(MessageKind kind, const QString& text) override;
    QString inputBox(const QString& caption, const QString& prompt,
                     const QString& prefilled) override;
    FileDialogResult openFile(const FileDialogOptions& options) override;
    FileDialogResult saveFile(const FileDialogOptions& options) override;
};

// The Qt name filter for one filter row: "Jpeg (*.JPG)" stays as it is; a description whose
// own brackets do not list the patterns ("All Images (*.*)") gets them appended.
QString QtNameFilter(const FileFilter& filter);
