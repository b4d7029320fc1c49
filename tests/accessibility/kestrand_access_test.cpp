#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "kestrand/info/main_window.h"
#include "kestrand/settings/settings_dialog.h"
#include "kestrand/text/stored_strings.h"
#include "tests/accessibility/accessible_tree.h"
#include "tests/kestrand/gui_helpers.h"
#include "tests/support/controls.h"
#include "tests/support/keys.h"
#include "tests/support/scripted_platform.h"

namespace {

using namespace accessibility_test;
using testing_support::control;
using testing_support::ScriptedPlatform;
using testing_support::typeControlP;

QString u16(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

class MainWindowAccessTest : public testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<kestrand::info::MainWindow>(scripted.platform, reports);
    }
    QPushButton* button(const char* name) const {
        return control<QPushButton>(window.get(), QString::fromLatin1(name));
    }

    ScriptedPlatform scripted;
    kestrand_test::RecordedReports reports;
    std::unique_ptr<kestrand::info::MainWindow> window;
};

TEST_F(MainWindowAccessTest, EveryControlIsNamedForAScreenReaderWithItsRole) {
    window->show();
    expectAccessibleControls(
        window.get(),
        {
            {"Picture1", QAccessible::Graphic, "Logo"},
            // The Persian caption is the button's name, as a Persian reader reads it.
            {"Command1", QAccessible::PushButton, u16(kestrand::text::kOpenInformationFiles)},
            {"Frame1", QAccessible::Grouping, "Usage by season"},
            {"Chart1", QAccessible::Chart, "Usage by season chart"},
            {"Label1", QAccessible::StaticText, "Chart background"},
            {"Command2", QAccessible::PushButton, "Up"},
            {"Command3", QAccessible::PushButton, "Down"},
        });
}

TEST_F(MainWindowAccessTest, TheChartDescriptionReadsOutItsData) {
    QAccessibleInterface* chart =
        QAccessible::queryAccessibleInterface(control<QWidget>(window.get(), "Chart1"));
    ASSERT_NE(chart, nullptr);
    const QString description = chart->text(QAccessible::Description);
    // Each series with its four seasons in order; the two-part series name is read as one
    // word.
    for (const char16_t* series : {
             u"کاربر: بهار 20.4, تابستان 25, پائيز 21, زمستان 55",
             u"جستجو: بهار 30.6, تابستان 10, پائيز 56, زمستان 32",
             u"نامه\u200Cها: بهار 45.9, تابستان 22, پائيز 25, زمستان 10",
         }) {
        EXPECT_TRUE(description.contains(QString::fromUtf16(series)))
            << qPrintable(description) << "\nlacks " << qPrintable(QString::fromUtf16(series));
    }
}

TEST_F(MainWindowAccessTest, TabWalksTheDesignedOrderAndTheButtonsWorkFromTheKeyboard) {
    activate(window.get(), button("Command1"));
    ASSERT_EQ(QApplication::focusWidget(), button("Command1"));

    // Command1, the chart, the picture, the two picture buttons; frame and label take no
    // focus.
    EXPECT_EQ(objectNames(tabWalk(20)),
              QStringList({"Command1", "Chart1", "Picture1", "Command2", "Command3"}));
    EXPECT_EQ(QApplication::focusWidget(), button("Command1")) << "Tab comes round again";

    // Space presses each button; none has an action of its own.
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        QSignalSpy clicked(button(name), &QPushButton::clicked);
        pressSpace(button(name));
        EXPECT_EQ(clicked.count(), 1) << name;
        EXPECT_EQ(window->settingsDialog(), nullptr) << name;
    }

    // The settings shortcut from the keyboard, on the focused button.
    ASSERT_EQ(QApplication::focusWidget(), button("Command3"));
    typeControlP(button("Command3"));
    ASSERT_NE(window->settingsDialog(), nullptr);
    EXPECT_TRUE(window->settingsDialog()->isVisible());
    EXPECT_EQ(scripted.programEnd.count, 0);
}

class SettingsDialogAccessTest : public testing::Test {
  protected:
    void SetUp() override {
        dialog = std::make_unique<kestrand::settings::SettingsDialog>(scripted.platform, reports);
    }
    void TearDown() override {
        // Hidden rather than closed: a closed dialog deletes itself.
        dialog->hide();
    }
    QPushButton* command1(int i) const { return control<QPushButton>(dialog.get(), "Command1", i); }
    QCheckBox* check(int i) const { return control<QCheckBox>(dialog.get(), "Check1", i); }
    QLineEdit* folder() const { return control<QLineEdit>(dialog.get(), "Text1"); }
    QPushButton* browse() const { return control<QPushButton>(dialog.get(), "Command2"); }

    testing_support::ScriptedPlatform scripted;  // Browse is answered with Cancel
    kestrand_test::RecordedReports reports;
    std::unique_ptr<kestrand::settings::SettingsDialog> dialog;
};

TEST_F(SettingsDialogAccessTest, EveryControlIsNamedForAScreenReaderWithItsRole) {
    dialog->show();
    std::vector<ExpectedControl> expected = {
        {"Frame1", QAccessible::Grouping, "Data folder"},
        {"Frame2", QAccessible::Grouping, "Report kinds"},
        {"Frame3", QAccessible::Grouping, "Bottom panel"},
        {"Command2", QAccessible::PushButton, "Browse"},
        // The folder box is named by its label; labels read with the colon at the end.
        {"Text1", QAccessible::EditableText, QString::fromUtf16(u"مسير فايلهاي اطلاعات")},
        {"Label1", QAccessible::StaticText, QString::fromUtf16(u"مسير فايلهاي اطلاعات:")},
        {"Label2", QAccessible::StaticText, QString::fromUtf16(u"اطلاعات درخواستي:")},
        // Two-part captions in reading order, joined as one word; no stretching kashidas.
        {"Command1(0)", QAccessible::PushButton, QString::fromUtf16(u"پيش\u200Cفرض")},
        {"Command1(1)", QAccessible::PushButton, QString::fromUtf16(u"صرف\u200Cنظر")},
        {"Command1(2)", QAccessible::PushButton, QString::fromUtf16(u"قبول")},
    };
    const char16_t* kinds[] = {
        u"آدرس کاربران",   u"نوع ويندوز کاربران", u"نوع مرورگر کاربران", u"ساعات پر کاربرد",
        u"صفحات ديده شده", u"کاربران داخل کشور",  u"تعداد جستجوها",
    };
    for (int i = 0; i < 7; ++i) {
        expected.push_back({QStringLiteral("Check1(%1)").arg(i), QAccessible::CheckBox,
                            QString::fromUtf16(kinds[i])});
    }
    expectAccessibleControls(dialog.get(), expected);
}

TEST_F(SettingsDialogAccessTest, TabWalksTheIndexOrderAndEveryStopWorksFromTheKeyboard) {
    activate(dialog.get(), command1(2));
    ASSERT_EQ(QApplication::focusWidget(), command1(2));

    // By tab index, not by position on screen.
    std::vector<QWidget*> expected = {command1(2), command1(1), command1(0), folder(), browse()};
    for (int i = 0; i < 7; ++i) {
        expected.push_back(check(i));
    }
    EXPECT_EQ(objectNames(tabWalk(30)), objectNames(expected));
    EXPECT_EQ(QApplication::focusWidget(), command1(2)) << "Tab comes round again";

    // Space ticks and unticks every report kind; several may be ticked at once.
    for (int i = 0; i < 7; ++i) {
        pressSpace(check(i));
        EXPECT_TRUE(check(i)->isChecked()) << i;
    }
    pressSpace(check(3));
    EXPECT_FALSE(check(3)->isChecked());

    // The folder box takes typing.
    folder()->setFocus();
    QTest::keyClick(folder(), Qt::Key_End);
    QTest::keyClicks(folder(), "\\2001");
    EXPECT_EQ(folder()->text(), "I:\\#LOCALs\\log-server\\2001");

    // OK and Browse (its chooser cancelled) press with Space and leave the dialog open.
    for (QPushButton* button : {command1(2), browse()}) {
        QSignalSpy clicked(button, &QPushButton::clicked);
        pressSpace(button);
        EXPECT_EQ(clicked.count(), 1) << qPrintable(button->objectName());
        EXPECT_TRUE(dialog->isVisible()) << qPrintable(button->objectName());
    }
    EXPECT_EQ(scripted.folderChooser.requests.size(), 1u);

    // Cancel with Space hides the dialog and keeps what was entered.
    pressSpace(command1(1));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(check(0)->isChecked());
    EXPECT_FALSE(check(3)->isChecked());
    EXPECT_EQ(folder()->text(), "I:\\#LOCALs\\log-server\\2001");

    // Default with Space brings back the starting values and leaves the dialog open.
    activate(dialog.get(), command1(0));
    pressSpace(command1(0));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(check(0)->isChecked());
    EXPECT_EQ(folder()->text(), "I:\\#LOCALs\\log-server");
}

}  // namespace
