#pragma once

#include <QPointer>
#include <QWidget>

#include "forms/platform.h"
#include "kestrand/settings/settings_dialog.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace kestrand::info {

class UsageChart;

// `Form1`, the main information window: the logo strip, the wide Persian-captioned button,
// the usage chart and two picture buttons. The settings shortcut typed on any of the three
// buttons shows the report settings dialog beside it; closing the window ends the program.
class MainWindow final : public QWidget {
    Q_OBJECT
  public:
    // `reports` answers OK in the settings dialog; the windows it opens close with this one.
    MainWindow(forms::Platform& platform, settings::ReportOpener& reports,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The report settings dialog while it exists (it deletes itself when closed).
    settings::SettingsDialog* settingsDialog() const { return settings_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private slots:
    // The settings shortcut on each of the three buttons; the typed code is left as it is.
    void Command1_KeyPress(char16_t& keyAscii);
    void Command2_KeyPress(char16_t& keyAscii);
    void Command3_KeyPress(char16_t& keyAscii);

  private:
    void buildControls();
    void applyTabOrder();
    void settingsShortcut(char16_t keyAscii);
    void showSettings();
    QPoint besideThisWindow(const QSize& dialogSize) const;

    forms::Platform& platform_;
    settings::ReportOpener& reports_;
    QPointer<settings::SettingsDialog> settings_;

    QLabel* Picture1 = nullptr;
    QPushButton* Command1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    UsageChart* Chart1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
};

}  // namespace kestrand::info
