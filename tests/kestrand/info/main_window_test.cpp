// The main information window on the offscreen platform: its design, the settings
// shortcut on its three buttons, the chart's tooltips, and ending the program when it
// closes.
#include "kestrand/info/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <memory>

#include "forms/twips.h"
#include "kestrand/info/chart_layout.h"
#include "kestrand/info/usage_chart.h"
#include "kestrand/settings/settings_dialog.h"
#include "tests/kestrand/gui_helpers.h"
#include "tests/support/controls.h"
#include "tests/support/keys.h"
#include "tests/support/scripted_platform.h"

namespace {

using testing_support::control;
using testing_support::typeCharacter;
using testing_support::typeControlP;

constexpr char16_t kKeheh = u'\u06A9';

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<kestrand::info::MainWindow>(platform.platform, reports);
        window->show();
        QApplication::setActiveWindow(window.get());
    }

    QPushButton* button(const char* name) {
        return control<QPushButton>(window.get(), QString::fromLatin1(name));
    }
    kestrand::settings::SettingsDialog* dialog() const { return window->settingsDialog(); }
    bool dialogVisible() const { return dialog() != nullptr && dialog()->isVisible(); }

    testing_support::ScriptedPlatform platform;
    kestrand_test::RecordedReports reports;
    std::unique_ptr<kestrand::info::MainWindow> window;
};

TEST_F(MainWindowTest, LaidOutAsDesigned) {
    EXPECT_EQ(window->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral(" ORVANE users information"));
    EXPECT_EQ(window->size(), QSize(505, 339));  // 7575 x 5085 twips

    struct Row {
        const char* name;
        forms::DesignRect rect;
        const char* container;
    };
    const Row rows[] = {
        {"Picture1", {120, 120, 1050, 4800}, "Form1"},
        {"Command1", {1320, 120, 6135, 375}, "Form1"},
        {"Frame1", {1320, 600, 6135, 4335}, "Form1"},
        {"Chart1", {0, 120, 6135, 4215}, "Frame1"},
        {"Label1", {60, 75, 6135, 4215}, "Frame1"},
        {"Command2", {5190, 345, 810, 1155}, "Frame1"},
        {"Command3", {5190, 2970, 810, 1155}, "Frame1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto* control =
            testing_support::control<QWidget>(window.get(), QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), forms::toPixels(row.rect));
        EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(row.container));
    }

    EXPECT_TRUE(button("Command1")->isDefault());
    EXPECT_EQ(QFontInfo(button("Command1")->font()).family(), QStringLiteral("Noto Naskh Arabic"));
    EXPECT_TRUE(QFontInfo(button("Command1")->font()).bold());
    EXPECT_TRUE(button("Command2")->text().isEmpty());
    EXPECT_TRUE(button("Command3")->text().isEmpty());
    for (const char* name : {"Command2", "Command3"}) {
        const auto sizes = button(name)->icon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(32, 32))) << name;
        EXPECT_TRUE(sizes.contains(QSize(16, 16))) << name;
    }
    const auto iconSizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));

    auto* logo = control<QLabel>(window.get(), "Picture1");
    EXPECT_EQ(logo->pixmap().size(), QSize(68, 320));
    auto* label = control<QLabel>(window.get(), "Label1");
    EXPECT_TRUE(label->text().isEmpty());
    EXPECT_FALSE(label->autoFillBackground());

    // The picture buttons lie over the chart, the empty label behind it.
    auto* frame = control<QGroupBox>(window.get(), "Frame1");
    const auto stack = frame->children();
    auto z = [&](const char* name) {
        return stack.indexOf(control<QWidget>(window.get(), QString::fromLatin1(name)));
    };
    EXPECT_LT(z("Label1"), z("Chart1"));
    EXPECT_LT(z("Chart1"), z("Command2"));
    EXPECT_LT(z("Chart1"), z("Command3"));
}

TEST_F(MainWindowTest, TabOrderAndStartingFocus) {
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), button("Command1"));
    const char* expected[] = {"Chart1", "Picture1", "Command2", "Command3", "Command1"};
    QWidget* at = button("Command1");
    for (const char* name : expected) {
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(at->objectName(), QString::fromLatin1(name));
    }
}

TEST_F(MainWindowTest, TheChartShowsItsLegendAtTheRightBetweenThePictureButtons) {
    auto* chart = control<kestrand::info::UsageChart>(window.get(), "Chart1");
    ASSERT_NE(chart, nullptr);
    const QRectF legend = chart->legendRect();
    EXPECT_GT(legend.left(), chart->width() * 0.75);
    EXPECT_LE(legend.right(), chart->width());
    // In the Frame's coordinates the legend lies in the gap between the two buttons.
    const QRectF inFrame = legend.translated(chart->pos());
    EXPECT_GT(inFrame.top(), button("Command2")->geometry().bottom());
    EXPECT_LT(inFrame.bottom(), button("Command3")->geometry().top());

    // Three distinct series colours, and the columns appear in the picture.
    const QColor c0 = kestrand::info::UsageChart::seriesColor(0);
    const QColor c1 = kestrand::info::UsageChart::seriesColor(1);
    const QColor c2 = kestrand::info::UsageChart::seriesColor(2);
    EXPECT_NE(c0, c1);
    EXPECT_NE(c1, c2);
    EXPECT_NE(c0, c2);
    const QImage image = chart->grab().toImage();
    for (const QColor& color : {c0, c1, c2}) {
        int matches = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < static_cast<int>(legend.left()); ++x) {
                matches += QColor(image.pixel(x, y)) == color;
            }
        }
        EXPECT_GT(matches, 200) << color.name().toStdString();
    }
}

TEST_F(MainWindowTest, HoveringAColumnOrALegendEntryTellsItsValuesRightToLeft) {
    auto* chart = control<kestrand::info::UsageChart>(window.get(), "Chart1");
    ASSERT_NE(chart, nullptr);
    const kestrand::info::ChartLayout layout = chart->currentLayout();
    const kestrand::info::ChartGeometry& geometry = chart->geometry();
    const kestrand::info::View& view = chart->view();
    auto hover = [&](const QPointF& at) {
        const QPoint point = at.toPoint();
        QHelpEvent help(QEvent::ToolTip, point, chart->mapToGlobal(point));
        QApplication::sendEvent(chart, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };

    // The middle of each column's face toward the viewer finds that column.
    std::vector<QPointF> centres;
    const auto seen = kestrand::info::visibleFaces(view);
    for (std::size_t i = 0; i < geometry.columns.size(); ++i) {
        kestrand::info::Point2 sum;
        for (const kestrand::info::Vec3& corner :
             kestrand::info::columnFaces(geometry.columns[i], seen).facing) {
            const kestrand::info::Point2 p =
                layout.plot.toScreen(kestrand::info::project(corner, view));
            sum = {sum.x + p.x / 4, sum.y + p.y / 4};
        }
        EXPECT_EQ(kestrand::info::columnAt(geometry, view, layout.plot, sum), i) << i;
        centres.emplace_back(sum.x, sum.y);
    }
    EXPECT_EQ(kestrand::info::columnAt(geometry, view, layout.plot, {1, 1}), std::nullopt);
    EXPECT_EQ(kestrand::info::legendEntryAt(layout.legend, {1, 1}), std::nullopt);

    // "User", spring, first in the data.
    ASSERT_EQ(geometry.columns[0].series, 0);
    ASSERT_EQ(geometry.columns[0].category, 0);
    const QString column = hover(centres[0]);
    EXPECT_EQ(column, QString::fromUtf16(u"\u200Fکاربر — بهار: 20.4"));
    EXPECT_TRUE(column.isRightToLeft());

    // The third legend entry, "letters": its four values.
    const kestrand::info::Box name = layout.legend.names[2];
    const QString legend = hover({name.left + name.width / 2, name.top + name.height / 2});
    EXPECT_EQ(legend, QString::fromUtf16(u"\u200Fنامه\u200Eها\nبهار: 45.9\nتابستان: 22\n"
                                         u"پائيز: 25\nزمستان: 10"));
    EXPECT_TRUE(legend.isRightToLeft());

    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
    EXPECT_EQ(dialog(), nullptr);
}

TEST_F(MainWindowTest, ShortcutOnEachButtonShowsTheOneDialogBesideTheWindow) {
    EXPECT_EQ(dialog(), nullptr);
    typeCharacter(button("Command1"), kKeheh);
    ASSERT_TRUE(dialogVisible());
    QPointer<kestrand::settings::SettingsDialog> first = dialog();
    EXPECT_EQ(first->objectName(), QStringLiteral("Form2"));
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_TRUE(first->isWindow());
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isEnabled());
    // Beside the window: to its right where the screen has room, else pushed as far right
    // as the screen allows, on screen either way.
    const QRect screen = window->screen()->availableGeometry();
    const QRect main = window->frameGeometry();
    const QRect placed = first->frameGeometry();
    EXPECT_TRUE(screen.contains(placed))
        << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height()
        << " in " << screen.width() << "x" << screen.height();
    if (main.right() + placed.width() < screen.right()) {
        EXPECT_GT(placed.left(), main.right());
    } else {
        EXPECT_EQ(placed.right(), screen.right());
    }
    EXPECT_EQ(placed.top(), main.top());

    // Again on every button and with Ctrl+P: the same dialog, still one.
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        SCOPED_TRACE(name);
        first->hide();
        typeCharacter(button(name), kKeheh);
        EXPECT_TRUE(first->isVisible());
        first->hide();
        QTest::keyClick(button(name), Qt::Key_P, Qt::ControlModifier);
        EXPECT_TRUE(first->isVisible());
        first->hide();
        typeControlP(button(name));
        EXPECT_TRUE(first->isVisible());
        typeCharacter(button(name), kKeheh);  // while visible
        EXPECT_EQ(dialog(), first.data());
    }
    int dialogs = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        dialogs += top->objectName() == QStringLiteral("Form2");
    }
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(platform.programEnd.count, 0);
}

TEST_F(MainWindowTest, OtherKeysAndOtherFocusDoNothing) {
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        SCOPED_TRACE(name);
        QPushButton* b = button(name);
        QSignalSpy clicks(b, &QPushButton::clicked);
        typeCharacter(b, u'\u0643');  // Arabic kaf, a different letter
        QTest::keyClicks(b, QStringLiteral("kKpP"));
        QTest::keyClick(b, Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(b, Qt::Key_Escape);
        QTest::keyClick(b, Qt::Key_Space);  // presses the button, which has no action
        QTest::keyClick(b, Qt::Key_Return);
        EXPECT_EQ(clicks.count(), 2);
        EXPECT_EQ(dialog(), nullptr);
    }

    // The window does not look at keys typed elsewhere.
    for (const char* name : {"Chart1", "Picture1"}) {
        SCOPED_TRACE(name);
        QWidget* target = control<QWidget>(window.get(), QString::fromLatin1(name));
        target->setFocus();
        typeCharacter(target, kKeheh);
        typeControlP(target);
        QTest::keyClick(target, Qt::Key_P, Qt::ControlModifier);
        EXPECT_EQ(dialog(), nullptr);
    }
    EXPECT_EQ(platform.programEnd.count, 0);
}

TEST_F(MainWindowTest, EnterElsewhereInTheWindowPressesTheDefaultButton) {
    QSignalSpy clicks(button("Command1"), &QPushButton::clicked);
    auto* chart = control<QWidget>(window.get(), "Chart1");
    chart->setFocus();
    QTest::keyClick(chart, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(dialog(), nullptr);
}

TEST_F(MainWindowTest, ClicksOnTheButtonsDoNothing) {
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        QTest::mouseClick(button(name), Qt::LeftButton);
    }
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(platform.programEnd.count, 0);
    EXPECT_TRUE(platform.messenger.messages.empty());
}

TEST_F(MainWindowTest, HiddenDialogComesBackWithTheUsersTicksAndFolder) {
    typeCharacter(button("Command2"), kKeheh);
    ASSERT_TRUE(dialogVisible());
    QPointer<kestrand::settings::SettingsDialog> shown = dialog();
    auto* tick = control<QCheckBox>(shown, QStringLiteral("Check1(3)"));
    auto* other = control<QCheckBox>(shown, QStringLiteral("Check1(5)"));
    auto* folder = control<QLineEdit>(shown, "Text1");
    QTest::mouseClick(tick, Qt::LeftButton);
    QTest::mouseClick(other, Qt::LeftButton);
    folder->setFocus();
    folder->selectAll();
    QTest::keyClicks(folder, QStringLiteral("D:\\logs"));
    QTest::keyClick(folder, Qt::Key_Escape);
    ASSERT_FALSE(shown->isVisible());

    typeCharacter(button("Command3"), kKeheh);
    ASSERT_EQ(dialog(), shown.data());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(tick->isChecked());
    EXPECT_TRUE(other->isChecked());
    EXPECT_EQ(folder->text(), QStringLiteral("D:\\logs"));

    // Cancel hides as well and keeps them.
    QTest::mouseClick(control<QPushButton>(shown, QStringLiteral("Command1(1)")), Qt::LeftButton);
    ASSERT_FALSE(shown->isVisible());
    typeCharacter(button("Command1"), kKeheh);
    EXPECT_TRUE(tick->isChecked());
    EXPECT_EQ(folder->text(), QStringLiteral("D:\\logs"));
}

TEST_F(MainWindowTest, TheDialogsCloseBoxUnloadsItAndTheNextShortcutStartsAfresh) {
    typeCharacter(button("Command1"), kKeheh);
    QPointer<kestrand::settings::SettingsDialog> first = dialog();
    ASSERT_FALSE(first.isNull());
    QTest::mouseClick(control<QCheckBox>(first, QStringLiteral("Check1(0)")), Qt::LeftButton);
    control<QLineEdit>(first, "Text1")->setText(QStringLiteral("elsewhere"));

    EXPECT_TRUE(first->close());
    kestrand_test::flushDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(platform.programEnd.count, 0);

    typeCharacter(button("Command1"), kKeheh);
    ASSERT_TRUE(dialogVisible());
    for (int i = 0; i < 7; ++i) {
        EXPECT_FALSE(control<QCheckBox>(dialog(), "Check1", i)->isChecked());
    }
    EXPECT_EQ(control<QLineEdit>(dialog(), "Text1")->text(),
              QStringLiteral("I:\\#LOCALs\\log-server"));
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheProgramWithTheDialog) {
    typeCharacter(button("Command1"), kKeheh);
    ASSERT_TRUE(dialogVisible());
    EXPECT_TRUE(window->close());
    EXPECT_EQ(platform.programEnd.count, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(dialogVisible());
    EXPECT_TRUE(platform.messenger.messages.empty());
    EXPECT_EQ(reports.closed, 1);  // the report windows close with it
}

TEST_F(MainWindowTest, ClosingWithoutADialogEndsTheProgram) {
    EXPECT_TRUE(window->close());
    EXPECT_EQ(platform.programEnd.count, 1);
    EXPECT_EQ(dialog(), nullptr);
}

}  // namespace
