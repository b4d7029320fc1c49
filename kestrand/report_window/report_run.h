#pragma once

// One run of the report engine behind a progress dialog: the engine works on a thread of its
// own while the windows keep painting; what the window shows of its answer is built there
// too, before the window's thread takes it back.

#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "forms/progress.h"
#include "kestrand/report_window/sections.h"
#include "kestrand/reports/engine.h"

class QWidget;

namespace kestrand::report_window {

struct ReportRequest {
    QString folder;  // as the user typed it
    std::array<bool, kReportKindCount> kinds{};
    std::optional<reports::Day> from;
    std::optional<reports::Day> to;
    QString onlyAddress;  // the per-user detail
};

struct ReportOutcome {
    bool cancelled = false;
    // Why there is no report, in the user's language; empty when there is one.
    QString message;
    // The engine's answer and its sections as shown; both set when there is a report.
    std::shared_ptr<const reports::Result> result;
    std::shared_ptr<const Report> report;
};

// The outcome that shows an answer of the engine.
ReportOutcome shownOutcome(std::shared_ptr<const reports::Result> result);

// The folder a typed text names, with the platform's separators understood.
QString reportFolder(const QString& typed);

ReportOutcome makeReports(QWidget* parent, forms::ProgressRunner& progress,
                          const ReportRequest& request);

// The message boxes' title.
QString reportMessageTitle();

}  // namespace kestrand::report_window
