#pragma once
// Every message box, the input box and the file dialogs go through one interface, so windows
// are tested with a scripted stand-in. The Qt implementation is in qt_dialogs.h.

#include <QString>
#include <QStringList>
#include <deque>
#include <utility>
#include <vector>

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
    // Yes / No; true for Yes.
    virtual bool confirm(const QString& text) = 0;
    // OK / Cancel; Cancel gives back the pre-filled text.
    virtual QString inputBox(const QString& caption, const QString& prompt,
                             const QString& prefilled) = 0;
    virtual FileDialogResult openFile(const FileDialogOptions& options) = 0;
    virtual FileDialogResult saveFile(const FileDialogOptions& options) = 0;

    void plain(const QString& text) { message(MessageKind::Plain, text); }
    void information(const QString& text) { message(MessageKind::Information, text); }
    void warning(const QString& text) { message(MessageKind::Warning, text); }
    void error(const QString& text) { message(MessageKind::Error, text); }
};

// The installed dialogs (not owned); until the program installs its own, a silent stand-in
// that answers like a user pressing Cancel or No.
Dialogs& dialogs();
void setDialogs(Dialogs* replacement);

// For tests: records every box and answers from queues; with a queue empty it answers like
// Cancel (input box: the pre-filled text; file dialogs: no file) or No.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        MessageKind kind;
        QString title;
        QString text;
    };

    ScriptedDialogs() { setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(nullptr); }

    void message(MessageKind kind, const QString& text) override;
    bool confirm(const QString& text) override;
    QString inputBox(const QString& caption, const QString& prompt,
                     const QString& prefilled) override;
    FileDialogResult openFile(const FileDialogOptions& options) override;
    FileDialogResult saveFile(const FileDialogOptions& options) override;

    // The texts of the message boxes shown, in order.
    QStringList texts() const;

    struct InputAsked {
        QString caption, prompt, prefilled;
    };

    std::vector<Shown> shown;
    std::vector<InputAsked> inputsAsked;
    std::vector<FileDialogOptions> fileDialogsAsked;
    std::deque<bool> confirmAnswers;
    std::deque<QString> inputAnswers;
    std::deque<FileDialogResult> openAnswers;
    std::deque<FileDialogResult> saveAnswers;
};
