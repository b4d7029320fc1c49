// The report settings dialog on the offscreen platform: its design, Escape on every
// control, Cancel, Enter, Browse, Default, and OK's answers when there is nothing to report.
#include "kestrand/settings/settings_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "forms/twips.h"
#include "tests/kestrand/gui_helpers.h"
#include "tests/support/controls.h"
#include "tests/support/scripted_platform.h"

namespace {

using testing_support::control;

const QString kFolder = QStringLiteral("I:\\#LOCALs\\log-server");

class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = new kestrand::settings::SettingsDialog(scripted.platform, reports);
        guard = dialog;
        dialog->show();
        QApplication::setActiveWindow(dialog);
    }
    void TearDown() override { delete guard.data(); }

    QPushButton* command1(int index) { return control<QPushButton>(dialog, "Command1", index); }
    QCheckBox* check1(int index) { return control<QCheckBox>(dialog, "Check1", index); }
    QLineEdit* text1() { return control<QLineEdit>(dialog, "Text1"); }
    QPushButton* command2() { return control<QPushButton>(dialog, "Command2"); }

    testing_support::ScriptedPlatform scripted;
    kestrand_test::RecordedReports reports;
    kestrand::settings::SettingsDialog* dialog = nullptr;
    QPointer<kestrand::settings::SettingsDialog> guard;
};

TEST_F(SettingsDialogTest, LaidOutAsDesigned) {
    EXPECT_EQ(dialog->objectName(), QStringLiteral("Form2"));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral(" Performances..."));
    EXPECT_EQ(dialog->size(), QSize(473, 371));  // 7095 x 5565 twips
    EXPECT_TRUE(dialog->testAttribute(Qt::WA_DeleteOnClose));

    struct Row {
        QString name;
        forms::DesignRect rect;
        const char* container;
    };
    std::vector<Row> rows = {
        {"Frame1", {120, 0, 4695, 3375}, "Form2"},
        {"Command2", {150, 255, 720, 285}, "Frame1"},
        {"Text1", {930, 255, 1890, 300}, "Frame1"},
        {"Label1", {2850, 255, 1650, 255}, "Frame1"},
        {"Frame2", {4920, 0, 2055, 3375}, "Form2"},
        {"Label2", {240, 240, 1650, 255}, "Frame2"},
        {"Frame3", {120, 3405, 6855, 1575}, "Form2"},
        {"Command1(0)", {120, 5100, 1815, 375}, "Form2"},
        {"Command1(1)", {4200, 5100, 1455, 375}, "Form2"},
        {"Command1(2)", {5760, 5100, 1215, 375}, "Form2"},
    };
    const int checkTops[7] = {720, 2160, 1800, 1440, 1080, 2520, 2880};
    for (int i = 0; i < 7; ++i) {
        rows.push_back(
            {QStringLiteral("Check1(%1)").arg(i), {120, checkTops[i], 1815, 255}, "Frame2"});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        auto* control = testing_support::control<QWidget>(dialog, row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), forms::toPixels(row.rect));
        EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(row.container));
    }
    for (const char* frame : {"Frame1", "Frame2", "Frame3"}) {
        EXPECT_TRUE(control<QGroupBox>(dialog, QString::fromLatin1(frame))->title().isEmpty());
    }

    EXPECT_TRUE(command1(2)->isDefault());
    EXPECT_FALSE(command1(0)->isDefault());
    EXPECT_EQ(control<QPushButton>(dialog, "Command2")->text(), QStringLiteral("Browse"));
    EXPECT_EQ(text1()->text(), kFolder);
    for (const char* name : {"Label1", "Label2"}) {
        auto* label = control<QLabel>(dialog, QString::fromLatin1(name));
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        EXPECT_EQ(QFontInfo(label->font()).family(), QStringLiteral("Noto Naskh Arabic"));
        EXPECT_NEAR(label->font().pointSizeF(), 9.0, 1e-9);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(command1(i)->font().pointSizeF(), 8.25, 1e-9);
        EXPECT_TRUE(command1(i)->font().bold());
    }
    for (int i = 0; i < 7; ++i) {
        EXPECT_FALSE(check1(i)->isChecked());
        EXPECT_TRUE(check1(i)->font().bold());
        // The tick box stands at the right, where a Persian caption begins.
        EXPECT_EQ(check1(i)->layoutDirection(), Qt::RightToLeft);
    }
}

TEST_F(SettingsDialogTest, TabOrderFollowsTheTabIndexes) {
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), command1(2));
    const QString expected[] = {"Command1(1)", "Command1(0)", "Text1",     "Command2",
                                "Check1(0)",   "Check1(1)",   "Check1(2)", "Check1(3)",
                                "Check1(4)",   "Check1(5)",   "Check1(6)", "Command1(2)"};
    QWidget* at = command1(2);
    for (const QString& name : expected) {
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(at->objectName(), name);
    }
}

TEST_F(SettingsDialogTest, EscapeInAnyControlHidesTheDialog) {
    std::vector<QWidget*> controls = {command1(0), command1(1), command1(2), text1(),
                                      control<QWidget>(dialog, "Command2")};
    for (int i = 0; i < 7; ++i) controls.push_back(check1(i));
    for (QWidget* control : controls) {
        SCOPED_TRACE(control->objectName().toStdString());
        dialog->show();
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(guard.isNull());  // hidden, not unloaded
    }
    for (int i = 0; i < 7; ++i) EXPECT_FALSE(check1(i)->isChecked());
}

TEST_F(SettingsDialogTest, EscapeInTheFolderBoxLeavesItsTextAlone) {
    text1()->setFocus();
    text1()->end(false);
    QTest::keyClicks(text1(), QStringLiteral("\\2001"));
    QTest::keyClick(text1(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(text1()->text(), kFolder + QStringLiteral("\\2001"));
    dialog->show();
    EXPECT_EQ(text1()->text(), kFolder + QStringLiteral("\\2001"));
}

TEST_F(SettingsDialogTest, EnterPressesOkWhichLeavesTheDialogOpen) {
    QSignalSpy ok(command1(2), &QPushButton::clicked);
    text1()->setFocus();
    QTest::keyClick(text1(), Qt::Key_Return);
    EXPECT_EQ(ok.count(), 1);
    check1(4)->setFocus();
    QTest::keyClick(check1(4), Qt::Key_Enter);
    EXPECT_EQ(ok.count(), 2);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(text1()->text(), kFolder);
    EXPECT_FALSE(check1(4)->isChecked());
    // Nothing is ticked: each press says so, and no report is made.
    ASSERT_EQ(scripted.messenger.messages.size(), 2u);
    for (const auto& message : scripted.messenger.messages) {
        EXPECT_FALSE(message.warning);
        EXPECT_TRUE(message.text.contains(QStringLiteral("هیچ نوع گزارشی تیک نخورده است")));
    }
    EXPECT_TRUE(reports.orders.empty());
}

TEST_F(SettingsDialogTest, OkAsksForTheTickedReportsOverTheFolderAndCancelHides) {
    QTest::mouseClick(check1(2), Qt::LeftButton);
    check1(6)->setFocus();
    QTest::keyClick(check1(6), Qt::Key_Space);
    QTest::mouseClick(command1(2), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(check1(2)->isChecked());
    EXPECT_TRUE(check1(6)->isChecked());
    EXPECT_EQ(text1()->text(), kFolder);
    ASSERT_EQ(reports.orders.size(), 1u);
    EXPECT_EQ(reports.orders[0].folder, kFolder);
    EXPECT_EQ(reports.orders[0].kinds,
              (std::array<bool, 7>{false, false, true, false, false, false, true}));
    EXPECT_TRUE(scripted.messenger.messages.empty());

    QTest::mouseClick(command1(1), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(guard.isNull());
    EXPECT_TRUE(check1(2)->isChecked());
    EXPECT_TRUE(check1(6)->isChecked());

    // Space on the focused Cancel button presses it too.
    dialog->show();
    command1(1)->setFocus();
    QTest::keyClick(command1(1), Qt::Key_Space);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(SettingsDialogTest, BrowseChoosesTheFolderAndCancelKeepsIt) {
    QTemporaryDir chosen;
    ASSERT_TRUE(chosen.isValid());
    scripted.folderChooser.answer(chosen.path());
    scripted.folderChooser.cancel();

    // The stored folder does not exist on this machine: the chooser starts at home.
    QTest::mouseClick(command2(), Qt::LeftButton);
    ASSERT_EQ(scripted.folderChooser.requests.size(), 1u);
    EXPECT_EQ(scripted.folderChooser.requests[0].startFolder, QDir::homePath());
    EXPECT_EQ(text1()->text(), QDir::toNativeSeparators(chosen.path()));
    EXPECT_TRUE(dialog->isVisible());

    // Next time it starts at the folder the box names; Cancel leaves the box alone.
    QTest::mouseClick(command2(), Qt::LeftButton);
    ASSERT_EQ(scripted.folderChooser.requests.size(), 2u);
    EXPECT_EQ(QDir(scripted.folderChooser.requests[1].startFolder), QDir(chosen.path()));
    EXPECT_EQ(text1()->text(), QDir::toNativeSeparators(chosen.path()));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(scripted.folderChooser.unexpected, 0);

    // Escape typed on Browse hides the dialog without a chooser.
    command2()->setFocus();
    QTest::keyClick(command2(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(scripted.folderChooser.requests.size(), 2u);
}

TEST_F(SettingsDialogTest, DefaultBringsBackTheStartingValuesAndStaysOpen) {
    for (int i : {0, 3, 6}) {
        QTest::mouseClick(check1(i), Qt::LeftButton);
    }
    text1()->setFocus();
    text1()->selectAll();
    QTest::keyClicks(text1(), QStringLiteral("D:\\logs"));
    ASSERT_EQ(text1()->text(), QStringLiteral("D:\\logs"));

    QTest::mouseClick(command1(0), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    for (int i = 0; i < 7; ++i) EXPECT_FALSE(check1(i)->isChecked()) << i;
    EXPECT_EQ(text1()->text(), kFolder);
    EXPECT_TRUE(scripted.folderChooser.requests.empty());
}

TEST_F(SettingsDialogTest, SeveralTicksOrNone) {
    for (int i = 0; i < 7; ++i) {
        QTest::mouseClick(check1(i), Qt::LeftButton);
    }
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(check1(i)->isChecked());
    QTest::mouseClick(check1(3), Qt::LeftButton);
    EXPECT_FALSE(check1(3)->isChecked());
    EXPECT_TRUE(check1(4)->isChecked());
}

TEST_F(SettingsDialogTest, TheCloseBoxUnloadsTheDialog) {
    EXPECT_TRUE(dialog->close());
    kestrand_test::flushDeletes();
    EXPECT_TRUE(guard.isNull());
}

}  // namespace
