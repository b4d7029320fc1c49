#pragma once

#include <QFile>
#include <QString>
#include <filesystem>

#include "forms/file_chooser.h"
#include "trailscan/log/file_choice.h"

namespace trailscan::app {

// The open-file dialog both windows show to choose a log.
inline forms::FileRequest logFileRequest() {
    forms::FileRequest request;
    request.title = QString::fromLatin1(log::kDialogTitle);
    request.initialFolder = QString::fromLatin1(log::kDialogInitialFolder);
    request.filters = {QString::fromLatin1(log::kDialogFilterAll),
                       QString::fromLatin1(log::kDialogFilterLogs),
                       QString::fromLatin1(log::kDialogFilterCompressedLogs)};
    request.selectedFilter = log::kDialogSelectedFilter;
    return request;
}

// A chosen name as the channel opens it.
inline std::filesystem::path logPath(const QString& name) {
#ifdef _WIN32
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

}  // namespace trailscan::app
