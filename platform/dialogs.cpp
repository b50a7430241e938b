#include "dialogs.h"

#include "desktop.h"

namespace {

class CancellingDialogs final : public Dialogs {
public:
    void message(MessageKind, const QString&) override {}
    bool confirm(const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString& prefilled) override {
        return prefilled;
    }
    FileDialogResult openFile(const FileDialogOptions&) override { return {}; }
    FileDialogResult saveFile(const FileDialogOptions&) override { return {}; }
};

CancellingDialogs cancellingDialogs;
Dialogs* currentDialogs = &cancellingDialogs;

template <typename T>
T takeFront(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

}  // namespace

QString MessageBoxTitle(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information:
            return QStringLiteral("Information");
        case MessageKind::Warning:
            return QStringLiteral("Warning");
        case MessageKind::Error:
            return QStringLiteral("Error");
        case MessageKind::Confirmation:
            return QStringLiteral("Confirm");
        case MessageKind::Plain:
        case MessageKind::ErrorReport:
            break;
    }
    return ApplicationTitle();
}

Dialogs& dialogs() {
    return *currentDialogs;
}

void setDialogs(Dialogs* replacement) {
    currentDialogs = replacement ? replacement : &cancellingDialogs;
}

void ScriptedDialogs::message(MessageKind kind, const QString& text) {
    shown.push_back({kind, MessageBoxTitle(kind), text});
}

bool ScriptedDialogs::confirm(const QString& text) {
    shown.push_back({MessageKind::Confirmation, MessageBoxTitle(MessageKind::Confirmation), text});
    return takeFront(confirmAnswers, false);
}

QString ScriptedDialogs::inputBox(const QString& caption, const QString& prompt,
                                  const QString& prefilled) {
    inputsAsked.push_back({caption, prompt, prefilled});
    return takeFront(inputAnswers, prefilled);
}

FileDialogResult ScriptedDialogs::openFile(const FileDialogOptions& options) {
    fileDialogsAsked.push_back(options);
    return takeFront(openAnswers, FileDialogResult{});
}

FileDialogResult ScriptedDialogs::saveFile(const FileDialogOptions& options) {
    fileDialogsAsked.push_back(options);
    return takeFront(saveAnswers, FileDialogResult{});
}

QStringList ScriptedDialogs::texts() const {
    QStringList out;
    for (const Shown& s : shown) out << s.text;
    return out;
}
