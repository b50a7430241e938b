#pragma once
// What the window tests share: a settings file of their own wired into the window-size store,
// scripted message boxes, small picture files made on the spot, and a fixed screen.

#include "app/settings_file.h"
#include "formats/bitmap.h"
#include "formats/picture.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/session.h"
#include "platform/window_kit.h"
#include "support/pattern_bitmap.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QTemporaryDir>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        static const bool formatsRegistered = (InitPictureFormats(), true);
        (void)formatsRegistered;
        session.WorkFolder = folder.path();
        session.SettingsFile = folder.filePath("pxset25.ini");
        SetWindowSizeStore({
            [this](const QString& section) {
                return ReadSavedWidth(session.SettingsFile, section);
            },
            [this](const QString& section) {
                return ReadSavedHeight(session.SettingsFile, section);
            },
            [this](const QString& section, int w, int h) {
                SaveWindowSize(session.SettingsFile, section, w, h);
            },
        });
        setScreenMetricsOverride(&screen);
    }
    void TearDown() override {
        SetWindowSizeStore({});
        setScreenMetricsOverride(nullptr);
    }

    // Writes a pattern picture as a BMP file and returns its path.
    QString bmpFile(int width, int height, const QString& name = {}) {
        Picture picture;
        picture.assign(PatternBitmap(width, height));
        const QString path = folder.filePath(
            name.isEmpty() ? QStringLiteral("p%1x%2.bmp").arg(width).arg(height) : name);
        picture.saveToFile(path);
        return path;
    }

    ScreenMetrics screen{1280, 1024, 339, 271, 96.0};
    QTemporaryDir folder;
    ScriptedDialogs boxes;
    // What the windows under test share, as start-up would make it.
    Session session;
};
