#include "kestrand/report_window/report_run.h"

#include <QDir>
#include <atomic>

namespace kestrand::report_window {

QString reportFolder(const QString& typed) { return QDir::fromNativeSeparators(typed.trimmed()); }

QString reportMessageTitle() { return reportTitle(); }

ReportOutcome shownOutcome(std::shared_ptr<const reports::Result> result) {
    ReportOutcome outcome;
    outcome.report = std::make_shared<const Report>(buildReport(*result));
    outcome.result = std::move(result);
    return outcome;
}

ReportOutcome makeReports(QWidget* parent, forms::ProgressRunner& progress,
                          const ReportRequest& request) {
    const QString folder = reportFolder(request.folder);
    reports::Options options;
    options.folder = std::filesystem::path(folder.toStdU16String());
    options.kinds = request.kinds;
    options.from = request.from;
    options.to = request.to;
    options.onlyAddress = request.onlyAddress.toStdString();
    // The command line's cache: a second OK, or another period, answers from what was read.
    options.cache = reports::defaultCacheFolder();

    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> bytesRead{0};
    std::atomic<std::int64_t> bytesTotal{0};
    std::atomic<std::int64_t> filesRead{0};
    std::atomic<std::int64_t> filesTotal{0};
    reports::Control control;
    control.cancel = &cancel;
    control.progress = [&](const reports::Progress& now) {
        bytesRead.store(static_cast<std::int64_t>(now.bytesRead));
        bytesTotal.store(static_cast<std::int64_t>(now.bytesTotal));
        filesRead.store(static_cast<std::int64_t>(now.filesRead));
        filesTotal.store(static_cast<std::int64_t>(now.filesTotal));
    };

    auto result = std::make_shared<reports::Result>();
    ReportOutcome outcome;
    forms::ProgressJob job;
    job.title = reportTitle();
    job.label = QStringLiteral("خواندن فایل‌های اطلاعات");
    job.done = &bytesRead;
    job.liveTotal = &bytesTotal;
    job.cancel = &cancel;
    job.cancelCaption = QStringLiteral("انصراف");
    job.detail = [&] {
        return QStringLiteral("فایل %1 از %2")
            .arg(groupedNumber(filesRead.load()), groupedNumber(filesTotal.load()));
    };
    job.work = [&] {
        *result = reports::run(options, control);
        if (result->cancelled || !result->error.empty() || result->totals.requests == 0) {
            return;
        }
        outcome = shownOutcome(result);
    };
    const bool finished = progress.run(parent, job);
    if (!finished || result->cancelled) {
        ReportOutcome cancelled;
        cancelled.cancelled = true;
        return cancelled;
    }
    const QString shownFolder = QDir::toNativeSeparators(folder);
    if (!result->error.empty()) {
        outcome.message =
            QStringLiteral(
                "پوشه‌ی «%1» را نمی‌توان خواند: یا وجود ندارد "
                "یا "
                "اجازه‌ی "
                "خواندن آن نیست.\n%2")
                .arg(shownFolder, QString::fromStdString(result->error));
    } else if (result->totals.requests == 0) {
        if (!request.onlyAddress.isEmpty()) {
            outcome.message =
                QStringLiteral(
                    "از آدرس «%1» در پوشه‌ی «%2» درخواستی نیست.")
                    .arg(visibleText(request.onlyAddress), shownFolder);
        } else if (request.from || request.to) {
            outcome.message =
                QStringLiteral(
                    "در پوشه‌ی «%1» در این روزها هیچ درخواستی "
                    "نیست.")
                    .arg(shownFolder);
        } else {
            outcome.message =
                QStringLiteral(
                    "در پوشه‌ی «%1» هیچ فایل گزارش خواندنی نیست.")
                    .arg(shownFolder);
        }
    }
    return outcome;
}

}  // namespace kestrand::report_window
