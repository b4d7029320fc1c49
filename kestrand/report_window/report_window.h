#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "forms/platform.h"
#include "kestrand/report_window/report_run.h"

class QDateEdit;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;

namespace kestrand::report_window {

// The report window ("گزارش کاربران"): a header with the folder, the period and the files read,
// a date range that runs the reports again, and one tab per report kind with its charts and
// sortable tables. Double-clicking an address opens that address's own report. Ctrl+S saves
// the web page; "Save as" also offers CSV and JSON. It deletes itself when closed.
class ReportWindow final : public QWidget {
    Q_OBJECT
  public:
    // `outcome` holds a report (its result and sections set).
    ReportWindow(forms::Platform& platform, ReportRequest request, ReportOutcome outcome,
                 QWidget* parent = nullptr);

    // Runs the reports behind a progress dialog over `parent` and opens a window with them.
    // A failure is told in a message box, a Cancel shows nothing; both give nothing back.
    static ReportWindow* open(QWidget* parent, forms::Platform& platform,
                              const ReportRequest& request);

    // The engine's answer shown, and its sections as shown.
    const reports::Result& result() const { return *outcome_.result; }
    const Report& report() const { return *outcome_.report; }
    QTabWidget* tabs() const { return tabs_; }
    // The tab of a report kind, built where it was not yet; nothing when the kind is absent.
    QWidget* tabOfKind(int kind);

    // The per-user detail windows this window opened and that are still open.
    std::vector<ReportWindow*> detailWindows() const;

  private:
    void buildControls();
    void showOutcome();
    void buildTab(int index);
    QWidget* sectionPage(const ReportSection& section);
    QTableView* tableView(const ReportTable& table, QWidget* parent);
    void rerun();
    void showDetail(const QString& address);
    void save();
    void saveAs();
    void writeReport(const QString& path);

    forms::Platform& platform_;
    ReportRequest request_;
    ReportOutcome outcome_;
    std::vector<bool> built_;
    std::vector<QPointer<ReportWindow>> details_;

    QLabel* folderLabel_ = nullptr;
    QLabel* periodLabel_ = nullptr;
    QLabel* totalsLabel_ = nullptr;
    QLabel* filesLabel_ = nullptr;
    QLabel* zoneLabel_ = nullptr;
    QLabel* deniedLabel_ = nullptr;
    QTableView* filesView_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QPushButton* rerunButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* saveAsButton_ = nullptr;
    QTabWidget* tabs_ = nullptr;
};

}  // namespace kestrand::report_window
