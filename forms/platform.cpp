#include "forms/platform.h"

namespace forms {

Platform& desktopPlatform() {
    static DialogFileChooser chooser;
    static ApplicationEnd programEnd;
    static MessageBoxMessenger messenger;
    static Platform platform{chooser, programEnd, messenger};
    return platform;
}

}  // namespace forms
