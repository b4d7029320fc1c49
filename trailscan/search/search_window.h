#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "forms/platform.h"
#include "forms/progress.h"
#include "trailscan/app/log_opening.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/field_index.h"
#include "trailscan/regex/field_pattern.h"
#include "trailscan/scan/whole_log.h"
#include "trailscan/table/record_table.h"
#include "trailscan/table/searches.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;

namespace trailscan::report {
class ReportView;
}

namespace trailscan::search {

// The search window: opens a log, describes it in the file panel, keeps its records and
// searches them. A dialog-kind window so that Enter presses the default button.
class SearchWindow final : public QDialog {
    Q_OBJECT

  public:
    explicit SearchWindow(forms::Platform& platform, QWidget* parent = nullptr);
    ~SearchWindow() override;

    // Ctrl+B runs this: the program shows its record browser with it.
    void setBrowserOpener(std::function<void()> opener) { browserOpener_ = std::move(opener); }

    // The search selector as its number (Selector::number).
    int searchSelector() const { return searchSelector_.number(); }
    bool isFileOpen() const { return openFlag_; }
    const table::RecordTable& recordTable() const { return table_; }
    // The open flow on a file named on the command line or dropped: as if the first dialog
    // had returned that path.
    void openGiven(const QString& path);
    // The selected search over every record of the open log, not only the table's (Ctrl+Enter,
    // and the context menus of "Go !" and the report box). The report box fills as the results
    // come; a long search shows progress with Cancel, and Cancel keeps what was found.
    void searchWholeLog();
    // The same search over every log of the open log's folder and its sub-folders (their
    // .log and .log.gz files, in path order), each log's report under a heading "==> PATH <==";
    // Ctrl+Shift+Enter and the same context menus.
    void searchFolder();
    // Whether the whole-log and folder searches take the search text as a regular
    // expression (Ctrl+R and the context menus); "Go !" and Enter always search it literally.
    bool isRegularExpression() const;
    void setRegularExpression(bool on);

    // Controls, named as the design names them.
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Text1;
    QLabel* Label4;
    QLineEdit* Text2;
    QLabel* Label3;
    QLabel* Label5;
    QLineEdit* Text4;
    QPushButton* Command3;
    QPushButton* Command2;
    std::array<QPushButton*, 7> Command1{};
    report::ReportView* Text3;
    QLabel* Label6;
    QLabel* Label7;
    QLineEdit* Text5;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    void Command2_Click();
    void Command1_Click(int index);
    void Command3_Click();

  private:
    void buildControls();
    void buildReportCommands();
    // close, reset, the choice (skipped when `given`), op, linecounter, read, Fset. Cancel or
    // a failure after the choice leaves the window as it was, with no file open.
    void openFlow(const std::optional<QString>& given);
    // Asks for a text when `ask` is set or none was given yet, then selects its next (or
    // previous) occurrence in the report.
    void findInReport(bool backward, bool ask);
    void saveReport();
    void reset();
    void dialog();
    bool op();
    bool linecounter();
    void read();
    void Fset();
    void nevis();
    // Moves what a running whole-log search has found so far into the report box.
    void showWholeLogResults();
    // Adds a piece of a running search's report to what the box takes next (any thread).
    void takeFound(std::string_view piece);
    // The search box's text as the whole-log searches take it, or nothing: a search already
    // running (it is cancelled instead), or the report box says why (no log open, an empty
    // box, a pattern that is not valid).
    struct WholeLogText {
        std::unique_ptr<regex::FieldPattern> pattern;
        scan::WholeLogQuery query;  // its pattern is `pattern`
    };
    std::optional<WholeLogText> wholeLogText();
    // Runs `work` with progress and Cancel while the report box fills from takeFound.
    void runReportJob(forms::ProgressJob& job, scan::ScanControl& control);

    forms::Platform& platform_;
    app::LogOpening opening_;
    bool fromDialog_ = true;
    log::Channel channel_;
    table::RecordTable table_;
    table::Selector searchSelector_ = table::Selector::forColumn(log::kColumnIp);
    bool openFlag_ = false;
    QString fileName_;
    std::int64_t lineTotal_ = 0;
    std::function<void()> browserOpener_;
    QShortcut* saveShortcut_ = nullptr;
    QString findText_;
    // Kept by the open flow's count, so a whole-log search knows where records stand.
    log::FieldIndex fieldIndex_;
    QAction* wholeLogAction_ = nullptr;
    QAction* folderAction_ = nullptr;
    QAction* regexAction_ = nullptr;
    scan::ScanControl* runningSearch_ = nullptr;
    // Results of a running search reach the report box through two buffers that take turns:
    // the search fills found_ while the box takes shown_.
    std::mutex foundMutex_;
    std::string found_;
    std::string shown_;
    bool batchAsked_ = false;  // found_ is full enough and the window was asked to take it
};

}  // namespace trailscan::search
