#pragma once

class QKeyEvent;

namespace kestrand::text {

// The character code a key press types, as a handler of typed characters receives it:
// the event's text, with Escape as 27 and Ctrl+P as 16 also where the platform delivers
// the letter or no text at all for them. 0 when the key types nothing.
char16_t typedCode(const QKeyEvent& event);

}  // namespace kestrand::text
