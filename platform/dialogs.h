#pragma once
// Every message box, the input box and the file dialogs go through one interface, so windows
// are tested with a scripted stand-in (tests/support/scripted_dialogs.h). The Qt implementation
// is in qt_dialogs.h.

#include <QString>
#include <QStringList>
#include <vector>

// The kind of a box fixes its title and icon. The program's boxes:
//   Plain        "Pixolet", no icon, OK: most of the windows' notes and refusals
//   Information  "Information", information icon, OK (a cancelled output type, a reused project
//                title, the zoom limits, the support note) or Yes/No (the thumbnail page question)
//   Warning      "Warning", warning icon, OK: a work folder that cannot be created
//   Error        "Error", error icon, OK: a project folder or web page that cannot be written
//   Confirmation "Confirm", question icon, Yes/No: the bulk rename
//   ErrorReport  "Pixolet", error icon, OK: the general error report
enum class MessageKind { Plain, Information, Warning, Error, Confirmation, ErrorReport };

// "Pixolet" (the application title) for plain boxes and the error report, otherwise
// "Information", "Warning", "Error" or "Confirm".
QString MessageBoxTitle(MessageKind kind);

struct FileFilter {
    QString description;  // "Jpeg (*.JPG)"
    QString patterns;     // "*.JPG" or "*.JPG;*.GIF"
};

struct FileDialogOptions {
    QString title;  // empty: the platform's default
    std::vector<FileFilter> filters;
    int filterIndex = 1;       // 1-based, the filter shown first
    QString defaultExtension;  // without the dot, appended to a typed name without one
    QString initialName;
    QString startFolder;
};

struct FileDialogResult {
    QString path;  // empty when cancelled
    int filterIndex = 1;
    bool accepted() const { return !path.isEmpty(); }
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Plain, information, warning and error boxes: one OK button.
    virtual void message(MessageKind kind, const QString& text) = 0;
    // Yes / No with the kind's title and icon; true for Yes.
    virtual bool question(MessageKind kind, const QString& text) = 0;
    // OK / Cancel; Cancel gives back the pre-filled text.
    virtual QString inputBox(const QString& caption, const QString& prompt,
                             const QString& prefilled) = 0;
    virtual FileDialogResult openFile(const FileDialogOptions& options) = 0;
    virtual FileDialogResult saveFile(const FileDialogOptions& options) = 0;

    void plain(const QString& text) { message(MessageKind::Plain, text); }
    void information(const QString& text) { message(MessageKind::Information, text); }
    void warning(const QString& text) { message(MessageKind::Warning, text); }
    void error(const QString& text) { message(MessageKind::Error, text); }
    // "Confirm" with the question icon; MessageKind::Information gives the information box
    // that asks (the thumbnail page question).
    bool confirm(const QString& text, MessageKind kind = MessageKind::Confirmation) {
        return question(kind, text);
    }
};

// The installed dialogs (not owned); until the program installs its own, a silent stand-in
// that answers like a user pressing Cancel or No.
Dialogs& dialogs();
void setDialogs(Dialogs* replacement);
