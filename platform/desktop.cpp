#include "desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <optional>

namespace {

class QtDesktop final : public Desktop {
public:
    bool openFile(const QString& path) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    bool openLink(const QString& url) override {
        return QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
    }
};

QtDesktop qtDesktop;
Desktop* currentDesktop = &qtDesktop;
std::optional<ScreenMetrics> screenOverride;
QString dataFolderOverride;
QString applicationTitle = QStringLiteral("Pixolet");

}  // namespace

Desktop& desktop() {
    return *currentDesktop;
}

void setDesktop(Desktop* replacement) {
    currentDesktop = replacement ? replacement : &qtDesktop;
}

ScreenMetrics CurrentScreenMetrics() {
    if (screenOverride) return *screenOverride;
    ScreenMetrics m;
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    if (!screen) return m;
    m.widthPixels = screen->size().width();
    m.heightPixels = screen->size().height();
    // Some virtual screens report no physical size; keep the defaults' proportions then.
    if (screen->physicalSize().width() > 0 && screen->physicalSize().height() > 0) {
        m.widthMillimetres = qRound(screen->physicalSize().width());
        m.heightMillimetres = qRound(screen->physicalSize().height());
    }
    if (screen->logicalDotsPerInch() > 0) m.logicalDpi = screen->logicalDotsPerInch();
    return m;
}

void setScreenMetricsOverride(const ScreenMetrics* metrics) {
    if (metrics)
        screenOverride = *metrics;
    else
        screenOverride.reset();
}

QString ApplicationDataFolder() {
    if (!dataFolderOverride.isEmpty()) return dataFolderOverride;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Without a name from the platform the home folder has to do.
    if (folder.isEmpty()) folder = QDir::homePath();
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

bool EnsureApplicationDataFolder() {
    const QString folder = QDir::fromNativeSeparators(ApplicationDataFolder());
    if (QFileInfo(folder).isDir()) return true;
    // The XDG rules ask for the data home to be created, with mode 0700, when it is needed.
    QStringList missing;
    for (QString level = QDir::cleanPath(folder); !QFileInfo::exists(level);) {
        missing.prepend(level);
        const QString parent = QFileInfo(level).path();
        if (parent == level) break;
        level = parent;
    }
    for (const QString& level : std::as_const(missing)) {
        if (!QDir().mkdir(level, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
            !QFileInfo(level).isDir())
            return false;
    }
    return QFileInfo(folder).isDir();
}

void setApplicationDataFolderOverride(const QString& folder) {
    dataFolderOverride = folder;
}

QString ProgramFolderFor(const QString& executableFolder) {
    const QDir beside(executableFolder);
    QString folder = beside.absolutePath();
    if (!beside.exists(QStringLiteral("index.htm"))) {
        const QString shared = beside.absoluteFilePath(QStringLiteral("../share/pixolet"));
        if (QFileInfo(shared).isDir()) folder = QDir::cleanPath(shared);
    }
    return QDir::toNativeSeparators(folder) + QDir::separator();
}

QString ProgramFileFolder() {
    return ProgramFolderFor(QCoreApplication::applicationDirPath());
}

QString ApplicationTitle() {
    return applicationTitle;
}

void SetApplicationTitle(const QString& title) {
    applicationTitle = title;
    QCoreApplication::setApplicationName(title);
}
