#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace forms {

// What a folder chooser is asked to show.
struct FolderRequest {
    QString title;
    QString startFolder;  // an existing folder to open in
};

// The choose-a-folder dialog. Returns the chosen folder's full path, or nothing on Cancel.
class FolderChooser {
  public:
    virtual ~FolderChooser() = default;
    virtual std::optional<QString> chooseFolder(QWidget* parent, const FolderRequest& request) = 0;
};

// Production chooser: the platform's modal folder dialog.
class DialogFolderChooser final : public FolderChooser {
  public:
    std::optional<QString> chooseFolder(QWidget* parent, const FolderRequest& request) override;
};

}  // namespace forms
