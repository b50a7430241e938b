#include "platform/controls.h"
#include "platform/dialogs.h"
#include "support/scripted_dialogs.h"
#include "platform/picture_box.h"
#include "platform/long_operation.h"
#include "platform/window_kit.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <stdexcept>

namespace {

// A settings store in memory, installed the way the program installs its settings file.
struct MemoryStore {
    QMap<QString, QSize> sizes;
    int saves = 0;
    bool failWrites = false;

    MemoryStore() {
        SetWindowSizeStore({
            [this](const QString& s) { return sizes.value(s).width(); },
            [this](const QString& s) { return sizes.value(s).height(); },
            [this](const QString& s, int w, int h) {
                if (failWrites) throw PixError(QStringLiteral("Unable to write to store"));
                ++saves;
                sizes[s] = QSize(w, h);
            },
        });
    }
    ~MemoryStore() { SetWindowSizeStore({}); }
};

class Form : public ModalForm {
public:
    explicit Form(const QString& section = QStringLiteral("Frmtest")) : ModalForm(section) {
        resize(300, 200);
        edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("EdW"));
        other = new QPushButton(QStringLiteral("Exit"), this);
        calculate = new QPushButton(QStringLiteral("Calculate"), this);
        edit->setGeometry(10, 10, 100, 20);
        other->setGeometry(10, 40, 80, 25);
        calculate->setGeometry(100, 40, 80, 25);
        OnClick(other, this, &Form::OtherClick);
        OnClick(calculate, this, &Form::CalculateClick);
        setDefaultButton(calculate);
        placement().restoreSavedSize();
    }
    void OtherClick() { ++otherClicks; }
    void CalculateClick() {
        ++calculateClicks;
        if (throwOnCalculate) throw PixError(QStringLiteral("'x' is not a valid integer value"));
    }
    void FormCloseQuery() override { ++closeQueries; }

    QLineEdit* edit;
    QPushButton* other;
    QPushButton* calculate;
    int otherClicks = 0, calculateClicks = 0, closeQueries = 0;
    bool throwOnCalculate = false;
};

void pressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

TEST(WindowKit, SavedOuterSizeIsRestoredCentredAndSavedOnClose) {
    MemoryStore store;
    {
        Form unsaved;
        unsaved.show();
        QApplication::processEvents();
        EXPECT_EQ(unsaved.size(), QSize(300, 200)) << "nothing saved: the designed size";
        unsaved.close();
    }
    EXPECT_EQ(store.saves, 1) << "the first close writes the section";

    store.sizes[QStringLiteral("Frmtest")] = QSize(520, 0);
    Form form;
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.frameGeometry().width(), 520);
    EXPECT_EQ(form.height(), 200) << "a 0 height keeps the designed one";
    const QRect area = form.screen()->availableGeometry();
    const QRect outer = form.frameGeometry();
    EXPECT_LE(std::abs((outer.left() - area.left()) - (area.right() - outer.right())), 1);
    EXPECT_LE(std::abs((outer.top() - area.top()) - (area.bottom() - outer.bottom())), 1);

    form.resize(400, 250);
    form.close();
    EXPECT_EQ(store.sizes.value(QStringLiteral("Frmtest")), form.frameGeometry().size());
    EXPECT_EQ(store.saves, 2);

    for (int absurd : {-40, 100000}) {
        store.sizes[QStringLiteral("Frmtest")] = QSize(absurd, absurd);
        Form ignored;
        EXPECT_EQ(ignored.size(), QSize(300, 200)) << absurd;
    }
}

TEST(WindowKit, EveryWayOfClosingIsOkRunsTheCloseStepAndOnlyHides) {
    MemoryStore store;
    Form form;
    QPointer<Form> alive(&form);

    // The close box, from inside the modal loop.
    QTimer::singleShot(0, &form, [&] { form.close(); });
    EXPECT_EQ(form.showModal(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.closeQueries, 1);

    // Escape closes the same way, never as a cancel.
    QTimer::singleShot(0, &form, [&] { pressKey(form.edit, Qt::Key_Escape); });
    EXPECT_EQ(form.showModal(), QDialog::Accepted);
    EXPECT_EQ(form.closeQueries, 2);

    // A button's reject is an Ok as well.
    QTimer::singleShot(0, &form, [&] { form.reject(); });
    EXPECT_EQ(form.showModal(), QDialog::Accepted);
    EXPECT_EQ(form.closeQueries, 3);
    EXPECT_EQ(store.saves, 3);
    EXPECT_TRUE(alive) << "reused, never deleted by closing";
    EXPECT_EQ(form.edit->objectName(), "EdW");
}

TEST(WindowKit, AFailedSizeWriteIsReportedOnceAndTheFormStillCloses) {
    MemoryStore store;
    ScriptedDialogs boxes;
    store.failWrites = true;
    Form form;
    QTimer::singleShot(0, &form, [&] { form.close(); });
    EXPECT_EQ(form.showModal(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(boxes.texts(), QStringList{"Unable to write to store."});
}

TEST(WindowKit, ACloseDuringARunWaitsForItsEnd) {
    MemoryStore store;
    Form form;
    form.show();
    {
        LongOperation run;
        form.close();
        form.close();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.closeQueries, 0);
    }
    // The waiting close runs from the event loop once the run has ended, and only once.
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.closeQueries, 1);
}

TEST(WindowKit, EnterInAnEditBoxPressesOnlyTheDefaultButton) {
    Form form;
    form.show();
    form.edit->setFocus();
    pressKey(form.edit, Qt::Key_Return);
    pressKey(form.edit, Qt::Key_Enter);
    EXPECT_EQ(form.calculateClicks, 2);
    EXPECT_EQ(form.otherClicks, 0);
    EXPECT_TRUE(form.isVisible()) << "Enter never closes the form";
    // Focus on another button does not move the default to it.
    form.other->setFocus();
    pressKey(form.edit, Qt::Key_Return);
    EXPECT_EQ(form.otherClicks, 0);
    EXPECT_TRUE(form.calculate->isDefault());
    EXPECT_FALSE(form.other->isDefault());
    EXPECT_FALSE(form.other->autoDefault());
}

TEST(WindowKit, AThrowingHandlerShowsTheErrorReportAndNothingEscapes) {
    ScriptedDialogs boxes;
    Form form;
    form.throwOnCalculate = true;
    form.calculate->click();
    form.calculate->click();
    EXPECT_EQ(form.calculateClicks, 2) << "the next click runs again";
    EXPECT_EQ(boxes.texts(), (QStringList{"'x' is not a valid integer value.",
                                          "'x' is not a valid integer value."}));

    // Any signal, with its arguments, to a lambda or a member; std exceptions too.
    QSpinBox spin;
    int seen = -1;
    OnSignal(&spin, &QSpinBox::valueChanged, &form, [&](int v) {
        seen = v;
        throw std::runtime_error("Range check error");
    });
    OnSignal(&spin, &QSpinBox::valueChanged, &form, &Form::OtherClick);
    spin.setValue(7);
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(form.otherClicks, 1) << "a handler may ignore the signal's arguments";
    EXPECT_EQ(boxes.texts().back(), "Range check error.");
}

TEST(WindowKit, AFormWithoutASectionNeitherRestoresNorSaves) {
    MemoryStore store;
    store.sizes[QString()] = QSize(640, 480);
    Form form{QString()};
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.size(), QSize(300, 200));
    form.close();
    EXPECT_EQ(store.saves, 0);
}

TEST(ControlHelpers, FormColoursFontsAndCaptions) {
    // The forms' integers are 0x00BBGGRR.
    EXPECT_EQ(ColorFromBgr(14737632), QColor(224, 224, 224));
    EXPECT_EQ(ColorFromBgr(0x00800000), QColor(0, 0, 128)) << "blue in the high byte";
    EXPECT_EQ(ColorFromBgr(0x000080FF), QColor(255, 128, 0));
    const QFont bold = ArialFont(13, true);
    EXPECT_EQ(bold.family(), "Arial");
    EXPECT_EQ(bold.pixelSize(), 13);
    EXPECT_TRUE(bold.bold());

    QWidget form;
    auto* button = new QPushButton(&form);
    auto* frame = new QGroupBox(&form);
    auto* image = new PictureBox(&form);
    SetCaption(button, QStringLiteral("Calculate"), QStringLiteral("Set the exact size"));
    SetCaption(frame, QStringLiteral("Your Options:"));
    SetCaption(image, QStringLiteral("Preview"), QStringLiteral("Click to view"));
    EXPECT_EQ(button->text(), "Calculate");
    EXPECT_EQ(button->toolTip(), "Set the exact size");
    EXPECT_EQ(frame->title(), "Your Options:");
    EXPECT_EQ(image->accessibleName(), "Preview") << "a control without text is named for tools";
    EXPECT_EQ(image->toolTip(), "Click to view");
}

TEST(WindowKit, AssistiveToolsSeeADialogNamedByItsCaptionAndItsControlsByRole) {
    Form form;
    form.setWindowTitle(QStringLiteral("Adjust Size"));
    auto* panel = new QFrame(&form);
    auto* image = new PictureBox(&form);
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Dialog);
    EXPECT_EQ(window->text(QAccessible::Name), "Adjust Size");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.calculate)->text(QAccessible::Name),
              "Calculate");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(panel)->role(), QAccessible::Pane)
        << "a panel is not a window inside the window";
    EXPECT_EQ(QAccessible::queryAccessibleInterface(image)->role(), QAccessible::Graphic);
}

}  // namespace
