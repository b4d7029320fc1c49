#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

#include "forms/platform.h"
#include "trailscan/app/log_opening.h"
#include "trailscan/browser/stepping.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"

class QLineEdit;
class QPushButton;

namespace trailscan::browser {

// The record browser: one record of a log at a time in 23 boxes, stepped forward with
// ">>", back with "<<", and "| |" to choose another log. It reads through a channel of its
// own, so it never disturbs another window's reading.
class BrowserWindow : public QWidget {
    Q_OBJECT

  public:
    explicit BrowserWindow(forms::Platform& platform, QWidget* parent = nullptr);

    // Name of the dynamic property that holds a step button's back colour (a QColor).
    static constexpr const char* kBackColourProperty = "backColour";

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

  private:
    void Form_Load();
    // The "| |" flow; `given` (a dropped file) skips the dialog. Cancel or a failure after
    // the choice leaves the boxes, the position box and the colours as they were.
    void chooseAnother(const std::optional<QString>& given);

    void reset();
    void dialog();
    bool op();
    bool linecounter();
    void read();
    void readback();

    void showColours();

    forms::Platform& platform_;
    app::LogOpening opening_;
    bool fromDialog_ = true;
    log::Channel channel_;

    QString fileName_;
    bool open_ = false;
    std::int64_t recordCounter_ = 0;
    std::int64_t lineTotal_ = 0;
    log::FieldSlots slots_{};
    SavedLengths savedLengths_;
    StepButtonColours colours_;

    std::array<QLineEdit*, log::kFieldCount> Text1{};
    QLineEdit* Text2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
};

}  // namespace trailscan::browser
