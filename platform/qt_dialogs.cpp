#include "qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace {

QMessageBox::Icon iconFor(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Error:
        case MessageKind::ErrorReport:
            return QMessageBox::Critical;
        case MessageKind::Confirmation:
            return QMessageBox::Question;
        case MessageKind::Plain:
            break;
    }
    return QMessageBox::NoIcon;
}

FileDialogResult runFileDialog(const FileDialogOptions& options, bool saving) {
    QFileDialog dialog(QApplication::activeWindow(), options.title, options.startFolder);
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name is accepted in both; the caller reports a file that cannot be read.
    dialog.setFileMode(QFileDialog::AnyFile);
    // Whether a file may be replaced is the writer's decision, not the dialog's.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters;
    for (const FileFilter& f : options.filters) filters << QtNameFilter(f);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = std::clamp(options.filterIndex, 1, int(filters.size()));
        dialog.selectNameFilter(filters[index - 1]);
    }
    if (!options.defaultExtension.isEmpty()) dialog.setDefaultSuffix(options.defaultExtension);
    if (!options.initialName.isEmpty()) dialog.selectFile(options.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    FileDialogResult result;
    result.path = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    result.filterIndex = std::max(1, int(filters.indexOf(dialog.selectedNameFilter())) + 1);
    return result;
}

}  // namespace

QString QtNameFilter(const FileFilter& filter) {
    QString patterns = filter.patterns;
    patterns.replace(u';', u' ');
    static const QRegularExpression trailingGroup(QStringLiteral("\\(([^()]*)\\)\\s*$"));
    const QRegularExpressionMatch m = trailingGroup.match(filter.description);
    if (m.hasMatch() && m.captured(1).simplified() == patterns.simplified())
        return filter.description;
    return filter.description + QStringLiteral(" (") + patterns + u')';
}

void QtDialogs::message(MessageKind kind, const QString& text) {
    QMessageBox box(iconFor(kind), MessageBoxTitle(kind), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool QtDialogs::question(MessageKind kind, const QString& text) {
    QMessageBox box(iconFor(kind), MessageBoxTitle(kind), text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::inputBox(const QString& caption, const QString& prompt,
                            const QString& prefilled) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(prefilled);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : prefilled;
}

FileDialogResult QtDialogs::openFile(const FileDialogOptions& options) {
    return runFileDialog(options, false);
}

FileDialogResult QtDialogs::saveFile(const FileDialogOptions& options) {
    return runFileDialog(options, true);
}
