#include "dialogs.h"

#include "desktop.h"

namespace {

class CancellingDialogs final : public Dialogs {
public:
    void message(MessageKind, const QString&) override {}
    bool question(MessageKind, const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString& prefilled) override {
        return prefilled;
    }
    FileDialogResult openFile(const FileDialogOptions&) override { return {}; }
    FileDialogResult saveFile(const FileDialogOptions&) override { return {}; }
};

CancellingDialogs cancellingDialogs;
Dialogs* currentDialogs = &cancellingDialogs;

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
