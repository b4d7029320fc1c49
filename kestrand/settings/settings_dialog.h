#pragma once

#include <QWidget>
#include <array>

#include "forms/platform.h"
#include "kestrand/settings/report_opener.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QLabel;

namespace kestrand::settings {

// `Form2`, the report settings dialog: seven report kinds to tick and the folder of the
// information files. Escape typed in any of its controls, or Cancel, hides it and keeps
// what the user entered; its close box unloads it (the window deletes itself). Browse
// chooses the folder through the platform's folder chooser; Default brings back the starting
// values; OK makes the ticked reports over the folder and opens a report window with them.
class SettingsDialog final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kReportKindCount = settings::kReportKindCount;
    static constexpr int kDefaultButton = 0;
    static constexpr int kCancelButton = 1;
    static constexpr int kOkButton = 2;

    SettingsDialog(forms::Platform& platform, ReportOpener& reports, QWidget* parent = nullptr);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private slots:
    void Command1_Click(int index);
    void Command2_Click();
    // Escape hides the dialog; a handler that takes the key sets the code to 0.
    void Check1_KeyPress(int index, char16_t& keyAscii);
    void Command1_KeyPress(int index, char16_t& keyAscii);
    void Command2_KeyPress(char16_t& keyAscii);
    void Text1_KeyPress(char16_t& keyAscii);

  private:
    void hideOnEscape(char16_t& keyAscii);
    void buildControls();
    void applyTabOrder();
    // No box ticked and the stored folder: the values the dialog is created with.
    void restoreStartingValues();
    // OK: hands the ticked kinds and the folder in Text1 to the report opener; with no box
    // ticked it says so instead.
    void makeTickedReports();

    forms::Platform& platform_;
    ReportOpener& reports_;

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QPushButton* Command2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    std::array<QCheckBox*, kReportKindCount> Check1{};
    std::array<QPushButton*, 3> Command1{};
};

}  // namespace kestrand::settings
