#include "forms/folder_chooser.h"

#include <QFileDialog>

namespace forms {

std::optional<QString> DialogFolderChooser::chooseFolder(QWidget* parent,
                                                         const FolderRequest& request) {
    const QString folder = QFileDialog::getExistingDirectory(
        parent, request.title, request.startFolder, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace forms
