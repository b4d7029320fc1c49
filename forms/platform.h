#pragma once

#include "forms/file_chooser.h"
#include "forms/folder_chooser.h"
#include "forms/messenger.h"
#include "forms/program_end.h"
#include "forms/progress.h"

namespace forms {

// The production folder chooser, shared by every platform that names none of its own.
FolderChooser& desktopFolderChooser();
// The production runner of long reads, likewise.
ProgressRunner& desktopProgressRunner();

// What a window needs of the platform besides widgets; tests pass scripted versions.
struct Platform {
    FileChooser& chooser;
    ProgramEnd& programEnd;
    Messenger& messenger;
    FolderChooser& folderChooser = desktopFolderChooser();
    ProgressRunner& progress = desktopProgressRunner();
};

// The production platform: QFileDialog, QMessageBox and ending the event loop.
Platform& desktopPlatform();

}  // namespace forms
