#include "forms/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace forms {

QString effectiveInitialFolder(const QString& requested) {
    const QFileInfo info(requested);
    if (!requested.isEmpty() && info.exists() && info.isDir()) {
        return info.absoluteFilePath();
    }
    return QDir::currentPath();
}

std::optional<QString> DialogFileChooser::choose(QWidget* parent, const FileRequest& request) {
    QFileDialog dialog(parent, request.title, effectiveInitialFolder(request.initialFolder));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name is accepted, also one of a file that does not exist yet.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilters(request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size()) {
        dialog.selectNameFilter(request.filters.at(request.selectedFilter));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath());
}

}  // namespace forms
