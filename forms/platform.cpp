#include "forms/platform.h"

namespace forms {

FolderChooser& desktopFolderChooser() {
    static DialogFolderChooser chooser;
    return chooser;
}

ProgressRunner& desktopProgressRunner() {
    static DialogProgressRunner runner;
    return runner;
}

Platform& desktopPlatform() {
    static DialogFileChooser chooser;
    static ApplicationEnd programEnd;
    static MessageBoxMessenger messenger;
    static Platform platform{chooser, programEnd, messenger, desktopFolderChooser()};
    return platform;
}

}  // namespace forms
