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

namespace {

std::optional<QString> runDialog(QWidget* parent, const FileRequest& request, bool save) {
    QFileDialog dialog(parent, request.title, effectiveInitialFolder(request.initialFolder));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Any name is accepted, also one of a file that does not exist yet.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !save);
    dialog.setNameFilters(request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size()) {
        dialog.selectNameFilter(request.filters.at(request.selectedFilter));
    }
    if (!request.suggestedName.isEmpty()) {
        dialog.selectFile(request.suggestedName);
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

}  // namespace

std::optional<QString> DialogFileChooser::choose(QWidget* parent, const FileRequest& request) {
    return runDialog(parent, request, false);
}

std::optional<QString> DialogFileChooser::chooseSave(QWidget* parent, const FileRequest& request) {
    return runDialog(parent, request, true);
}

}  // namespace forms
