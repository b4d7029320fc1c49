#include "trailscan/app/log_opening.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "trailscan/log/file_choice.h"
#include "trailscan/log/line_count.h"

namespace trailscan::app {

std::optional<QString> LogOpening::choose() {
    return platform_.chooser.choose(window_, logFileRequest());
}

bool LogOpening::open(log::Channel& channel, const QString& fileName, bool fromDialog) {
    if (static_cast<std::size_t>(fileName.size()) < log::kShortestFileName) {
        if (fromDialog) {
            platform_.programEnd.end();
        } else {
            reportFailure(fileName, "The name is shorter than 5 characters.");
        }
        return false;
    }
    if (auto error = channel.open(logPath(fileName))) {
        reportFailure(fileName, *error);
        return false;
    }
    return true;
}

std::optional<std::int64_t> LogOpening::countAndReopen(log::Channel& channel,
                                                       const QString& fileName,
                                                       log::FieldIndex* index) {
    log::CountProgress progress;
    std::optional<std::int64_t> total;
    forms::ProgressJob job;
    job.title = window_->windowTitle().trimmed();
    job.label = QStringLiteral("Reading %1").arg(QFileInfo(fileName).fileName());
    job.total = QFileInfo(fileName).size();
    job.done = &progress.bytesRead;
    job.cancel = &progress.cancel;
    job.work = [&] { total = log::lineTotal(channel, progress, {}, index); };
    const bool finished = platform_.progress.run(window_, job);
    channel.close();
    if (!finished) {
        return std::nullopt;
    }
    if (!total) {
        reportFailure(fileName, "The file could not be read to its end.");
        return std::nullopt;
    }
    // Back to the first byte for the reading that follows.
    if (auto error = channel.open(logPath(fileName))) {
        reportFailure(fileName, *error);
        return std::nullopt;
    }
    return total;
}

void LogOpening::reportFailure(const QString& fileName, const std::string& reason) {
    platform_.messenger.warn(
        window_, window_->windowTitle().trimmed(),
        QString::fromStdString(log::openFailureMessage(fileName.toStdString(), reason)));
}

std::optional<QString> droppedLog(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return std::nullopt;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return std::nullopt;
}

void acceptLogDrag(QDragEnterEvent* event) {
    if (droppedLog(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

}  // namespace trailscan::app
