// The keyboard on every window: Tab visits every control in reading order, and Escape closes a
// dialog as its close box does, wherever the focus is.
#include "app/about_window.h"
#include "app/main_window.h"
#include "convert/adjust_window.h"
#include "convert/choice_window.h"
#include "convert/options_window.h"
#include "convert/quality_window.h"
#include "convert/results_window.h"
#include "rename/rename_window.h"
#include "support/window_fixture.h"
#include "viewers/folder_viewer.h"
#include "viewers/picture_viewer.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <memory>

namespace {

// The controls Tab visits, in order, from the window's first one.
QList<QWidget*> TabChain(QWidget* window) {
    QList<QWidget*> chain;
    QWidget* w = window;
    for (int guard = 0; guard < 1000; ++guard) {
        w = w->nextInFocusChain();
        if (w == window) break;
        if (w->window() == window && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window))
            chain.append(w);
    }
    return chain;
}

QRect PlaceIn(QWidget* window, QWidget* control) {
    return QRect(control->mapTo(window, QPoint(0, 0)), control->size());
}

std::string Describe(QWidget* control) {
    return control->objectName().toStdString();
}

class Keyboard : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        setApplicationDataFolderOverride(WindowTest::folder.path());
        first = std::make_unique<TFrmfirst>(session);
        adjust = std::make_unique<TFrmadjust>(session, first.get());
        comp = std::make_unique<TFrmcomp>(session, adjust.get());
        options = std::make_unique<TFrmoptions>(session, adjust.get());
        results = std::make_unique<TFrmresults>(session, adjust.get());
        choice = std::make_unique<TFrmchoice>(adjust.get());
        pic = std::make_unique<TFrmpic>(session, first.get());
        folderView = std::make_unique<TFrmfolderview>(session, first.get());
        rename = std::make_unique<TFrmRename>(session, first.get());
        about = std::make_unique<TFrmabout>(first.get());
    }
    void TearDown() override {
        about.reset();
        rename.reset();
        folderView.reset();
        pic.reset();
        choice.reset();
        results.reset();
        options.reset();
        comp.reset();
        adjust.reset();
        first.reset();
        setApplicationDataFolderOverride({});
        WindowTest::TearDown();
    }
    // Every window whose order is free (the main window's is fixed: Continue first).
    QList<QDialog*> dialogsWithFreeOrder() {
        return {adjust.get(), comp.get(),       options.get(), results.get(), choice.get(),
                pic.get(),    folderView.get(), rename.get(),  about.get()};
    }

    std::unique_ptr<TFrmfirst> first;
    std::unique_ptr<TFrmadjust> adjust;
    std::unique_ptr<TFrmcomp> comp;
    std::unique_ptr<TFrmoptions> options;
    std::unique_ptr<TFrmresults> results;
    std::unique_ptr<TFrmchoice> choice;
    std::unique_ptr<TFrmpic> pic;
    std::unique_ptr<TFrmfolderview> folderView;
    std::unique_ptr<TFrmRename> rename;
    std::unique_ptr<TFrmabout> about;
};

TEST_F(Keyboard, TabVisitsEveryControlInReadingOrder) {
    for (QDialog* window : dialogsWithFreeOrder()) {
        SCOPED_TRACE(window->objectName().toStdString());
        const QList<QWidget*> chain = TabChain(window);
        // Every button, edit box and slider the window shows is on the way.
        for (QWidget* control : window->findChildren<QWidget*>()) {
            const bool operable = qobject_cast<QAbstractButton*>(control) ||
                                  qobject_cast<QLineEdit*>(control) ||
                                  qobject_cast<QAbstractSlider*>(control);
            if (!operable || !control->isVisibleTo(window) || control->objectName().isEmpty() ||
                control->objectName().startsWith("qt_"))
                continue;
            EXPECT_TRUE(chain.contains(control)) << Describe(control) << " is not reached by Tab";
        }
        // Each next control lies to the right on the same line, or lower down.
        for (qsizetype i = 1; i < chain.size(); ++i) {
            const QRect before = PlaceIn(window, chain[i - 1]);
            const QRect after = PlaceIn(window, chain[i]);
            const bool sameLine = after.top() < before.bottom() && before.top() < after.bottom();
            const bool inOrder =
                sameLine ? after.left() > before.left() : after.top() > before.top();
            EXPECT_TRUE(inOrder) << Describe(chain[i - 1]) << " then " << Describe(chain[i]);
        }
    }
}

TEST_F(Keyboard, EscapeClosesEachDialogAsItsCloseBoxDoes) {
    // The close box first, to know what it leaves behind, then Escape from every control.
    for (QDialog* window :
         {static_cast<QDialog*>(comp.get()), static_cast<QDialog*>(options.get()),
          static_cast<QDialog*>(results.get()), static_cast<QDialog*>(choice.get()),
          static_cast<QDialog*>(pic.get()), static_cast<QDialog*>(folderView.get()),
          static_cast<QDialog*>(rename.get()), static_cast<QDialog*>(about.get())}) {
        SCOPED_TRACE(window->objectName().toStdString());
        window->show();
        window->close();
        ASSERT_FALSE(window->isVisible());
        const int closeBoxResult = window->result();
        for (QWidget* control : TabChain(window)) {
            window->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
            control->setFocus();
            QTest::keyClick(control, Qt::Key_Escape);
            EXPECT_FALSE(window->isVisible()) << "Escape in " << Describe(control);
            EXPECT_EQ(window->result(), closeBoxResult) << Describe(control);
            window->hide();
        }
    }
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();
}

}  // namespace

namespace {

// The percentage and quality sliders grow with Right, Up and Page Up, towards their larger end on
// the right. (A scroll bar's own default turns the arrow keys round.)
TEST_F(Keyboard, SliderKeysMoveTowardsTheLargerEnd) {
    for (QDialog* window :
         {static_cast<QDialog*>(adjust.get()), static_cast<QDialog*>(comp.get())}) {
        SCOPED_TRACE(window->objectName().toStdString());
        auto* slider = window->findChild<QAbstractSlider*>("ScrollBar1");
        ASSERT_NE(slider, nullptr);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        slider->setFocus();
        slider->setValue(50);
        const std::pair<Qt::Key, int> moves[] = {{Qt::Key_Right, 51},  {Qt::Key_Up, 52},
                                                 {Qt::Key_PageUp, 53}, {Qt::Key_Left, 52},
                                                 {Qt::Key_Down, 51},   {Qt::Key_PageDown, 50}};
        for (const auto& [key, expected] : moves) {
            QTest::keyClick(slider, key);
            EXPECT_EQ(slider->value(), expected) << QTest::toString(key);
        }
        window->hide();
    }
}

}  // namespace
