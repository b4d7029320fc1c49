#pragma once

namespace kestrand::text {

// Character codes as the windows' handlers receive them (Unicode).
inline constexpr char16_t kKehehCode = u'\u06A9';  // the Persian layout's key for code 152
inline constexpr char16_t kCtrlPCode = u'\u0010';
inline constexpr char16_t kEscapeCode = u'\u001B';

// The main window's shortcut to the report settings dialog.
constexpr bool isSettingsShortcut(char16_t code) {
    return code == kKehehCode || code == kCtrlPCode;
}

constexpr bool isEscape(char16_t code) { return code == kEscapeCode; }

}  // namespace kestrand::text
