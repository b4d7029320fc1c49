#pragma once

#include "forms/file_chooser.h"
#include "forms/messenger.h"
#include "forms/program_end.h"

namespace forms {

// What a window needs of the platform besides widgets; tests pass scripted versions.
struct Platform {
    FileChooser& chooser;
    ProgramEnd& programEnd;
    Messenger& messenger;
};

// The production platform: QFileDialog, QMessageBox and ending the event loop.
Platform& desktopPlatform();

}  // namespace forms
