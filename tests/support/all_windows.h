#pragma once
// Every window of the program over one Session, as start-up makes them, with scripted dialogs,
// a recording desktop and folders of their own: the picks and Continue drive them as a person
// would. Tests that link pixolet_app derive their fixture from AllWindowsTest.

#include "app/main_window.h"
#include "convert/adjust_window.h"
#include "convert/options_window.h"
#include "convert/quality_window.h"
#include "convert/results_window.h"
#include "formats/picture.h"
#include "platform/desktop.h"
#include "platform/session.h"
#include "rename/rename_window.h"
#include "support/recording_desktop.h"
#include "support/scripted_dialogs.h"
#include "viewers/folder_viewer.h"
#include "viewers/picture_viewer.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

class AllWindowsTest : public ::testing::Test {
protected:
    // First made, last gone: the windows hold their places in it.
    Session session;

    void SetUp() override {
        static const bool formatsRegistered = (InitPictureFormats(), true);
        (void)formatsRegistered;
        setApplicationDataFolderOverride(appData.path());
        UseSettingsFileForWindowSizes(session);
        session.StoredImagesFolder.clear();
        session.WebpagesFolder.clear();
        session.FolderImages = {};
        main = std::make_unique<TFrmfirst>(session);
        adjust = std::make_unique<TFrmadjust>(session, main.get());
        comp = std::make_unique<TFrmcomp>(session, adjust.get());
        options = std::make_unique<TFrmoptions>(session, adjust.get());
        results = std::make_unique<TFrmresults>(session, adjust.get());
        viewer = std::make_unique<TFrmpic>(session, main.get());
        folderViewer = std::make_unique<TFrmfolderview>(session, main.get());
        rename = std::make_unique<TFrmRename>(session, main.get());
        main->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        rename.reset();
        folderViewer.reset();
        viewer.reset();
        results.reset();
        options.reset();
        comp.reset();
        adjust.reset();
        main.reset();
        SetWindowSizeStore({});
        setApplicationDataFolderOverride({});
    }

    // A BMP of the given size in the pictures folder (or a subfolder of it).
    QString bmp(int width, int height, const QString& name) {
        Bitmap bitmap;
        bitmap.create(width, height, 24);
        Picture picture;
        picture.assign(bitmap);
        const QString path = pictures.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        picture.saveToFile(path);
        return path;
    }
    QString file(const QString& name, const QByteArray& bytes = {}) {
        const QString path = pictures.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    void pickImage(const QString& path) {
        boxes.openAnswers.push_back({path, 1});
        main->Cmdimage->click();
    }
    void pickFolder(const QString& path) {
        boxes.openAnswers.push_back({path, 1});
        main->Cmdfolder->click();
    }
    QString adjustText(const char* name) {
        auto* label = adjust->findChild<QLabel*>(name);
        EXPECT_NE(label, nullptr) << name;
        return label ? label->text() : QString();
    }
    // Presses Continue; whatever modal window it opens is looked at and closed with `closer`.
    // Returns the name of the window that was open, or "" when none was.
    QString continueAnd(const std::function<void()>& closer = {}) {
        // Polled: a window that fills itself first (the folder viewer) shows a few turns later.
        QString opened;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible()) return;
            poll.stop();
            opened = modal->objectName();
            if (closer)
                closer();
            else
                modal->close();
        });
        poll.start(1);
        main->Cmdnext->click();
        poll.stop();
        return opened;
    }
    QString storedRoot() const {
        return session.WorkFolder + QDir::separator() + "Stored Images" + QDir::separator();
    }
    QString pagesRoot() const { return storedRoot() + "Your Webpages" + QDir::separator(); }
    QByteArray settings() const {
        QFile f(session.SettingsFile);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir appData;
    QTemporaryDir pictures;
    ScriptedDialogs boxes;
    RecordingDesktop desktop;  // the web pages open their index
    std::unique_ptr<TFrmfirst> main;
    std::unique_ptr<TFrmadjust> adjust;
    std::unique_ptr<TFrmcomp> comp;
    std::unique_ptr<TFrmoptions> options;
    std::unique_ptr<TFrmresults> results;
    std::unique_ptr<TFrmpic> viewer;
    std::unique_ptr<TFrmfolderview> folderViewer;
    std::unique_ptr<TFrmRename> rename;
};
