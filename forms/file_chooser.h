#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace forms {

// What an open-file dialog is asked to show.
struct FileRequest {
    QString title;
    QString initialFolder;   // used when it exists, else the current folder
    QStringList filters;     // shown as given, e.g. "All Files (*.*)"
    int selectedFilter = 0;  // index into filters shown first
    QString suggestedName;   // a save dialog's file name to start with
};

// The open-file dialog. Returns the full path of the chosen file, or nothing on Cancel.
// A typed name of a file that does not exist is returned as well.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    virtual std::optional<QString> choose(QWidget* parent, const FileRequest& request) = 0;
    // The save-file dialog: the full path to write, or nothing on Cancel. Replacing an
    // existing file is confirmed in the dialog.
    virtual std::optional<QString> chooseSave(QWidget* parent, const FileRequest& request) = 0;
};

// The folder the dialog opens in: the requested one where it exists, else the current one.
QString effectiveInitialFolder(const QString& requested);

// Production chooser: a modal QFileDialog.
class DialogFileChooser final : public FileChooser {
  public:
    std::optional<QString> choose(QWidget* parent, const FileRequest& request) override;
    std::optional<QString> chooseSave(QWidget* parent, const FileRequest& request) override;
};

}  // namespace forms
