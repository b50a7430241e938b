#pragma once
// Dialogs for tests: records every box and dialog and answers from queues; with a queue empty it
// answers like Cancel (input box: the pre-filled text; file dialogs: no file) or No. Installed
// for its lifetime.

#include "platform/dialogs.h"

#include <QStringList>
#include <deque>
#include <vector>

class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        MessageKind kind;
        QString title;
        QString text;
        bool yesNo = false;  // a question (Yes and No) rather than a box with OK
    };
    struct InputAsked {
        QString caption, prompt, prefilled;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void message(MessageKind kind, const QString& text) override;
    bool question(MessageKind kind, const QString& text) override;
    QString inputBox(const QString& caption, const QString& prompt,
                     const QString& prefilled) override;
    FileDialogResult openFile(const FileDialogOptions& options) override;
    FileDialogResult saveFile(const FileDialogOptions& options) override;

    // The texts of the boxes shown (questions included), in order.
    QStringList texts() const;
    // The Yes/No questions alone, in order.
    std::vector<Shown> questions() const;

    std::vector<Shown> shown;
    std::vector<InputAsked> inputsAsked;
    std::vector<FileDialogOptions> openDialogsAsked;
    std::vector<FileDialogOptions> saveDialogsAsked;
    std::deque<bool> confirmAnswers;
    std::deque<QString> inputAnswers;
    std::deque<FileDialogResult> openAnswers;
    std::deque<FileDialogResult> saveAnswers;
};
