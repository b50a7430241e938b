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

// The pixels of a bitmap as 0xRRGGBB, for comparisons that print where they differ.
inline QRgb PixelAt(const Bitmap& bitmap, int x, int y) {
    return bitmap.pixelColor(x, y) & 0xFFFFFF;
}

// Whether two 24-bit bitmaps hold the same size and pixels; says where they first differ.
inline ::testing::AssertionResult SamePixels(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return ::testing::AssertionFailure()
               << a.width() << "x" << a.height() << " vs " << b.width() << "x" << b.height();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (PixelAt(a, x, y) != PixelAt(b, x, y))
                return ::testing::AssertionFailure()
                       << "at " << x << "," << y << ": " << std::hex << PixelAt(a, x, y) << " vs "
                       << PixelAt(b, x, y);
    return ::testing::AssertionSuccess();
}
