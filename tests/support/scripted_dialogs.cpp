#include "scripted_dialogs.h"

namespace {

template <typename T>
T takeFront(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

}  // namespace

ScriptedDialogs::ScriptedDialogs() {
    setDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    if (&dialogs() == this) setDialogs(nullptr);
}

void ScriptedDialogs::message(MessageKind kind, const QString& text) {
    shown.push_back({kind, MessageBoxTitle(kind), text, false});
}

bool ScriptedDialogs::question(MessageKind kind, const QString& text) {
    shown.push_back({kind, MessageBoxTitle(kind), text, true});
    return takeFront(confirmAnswers, false);
}

QString ScriptedDialogs::inputBox(const QString& caption, const QString& prompt,
                                  const QString& prefilled) {
    inputsAsked.push_back({caption, prompt, prefilled});
    return takeFront(inputAnswers, prefilled);
}

FileDialogResult ScriptedDialogs::openFile(const FileDialogOptions& options) {
    openDialogsAsked.push_back(options);
    return takeFront(openAnswers, FileDialogResult{});
}

FileDialogResult ScriptedDialogs::saveFile(const FileDialogOptions& options) {
    saveDialogsAsked.push_back(options);
    return takeFront(saveAnswers, FileDialogResult{});
}

QStringList ScriptedDialogs::texts() const {
    QStringList out;
    for (const Shown& s : shown) out << s.text;
    return out;
}

std::vector<ScriptedDialogs::Shown> ScriptedDialogs::questions() const {
    std::vector<Shown> out;
    for (const Shown& s : shown)
        if (s.yesNo) out.push_back(s);
    return out;
}
