#include "kestrand/text/typed_code.h"

#include <QKeyEvent>

#include "kestrand/text/key_codes.h"

namespace kestrand::text {

char16_t typedCode(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Escape) {
        return kEscapeCode;
    }
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (event.key() == Qt::Key_P && (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) {
        return kCtrlPCode;
    }
    const QString text = event.text();
    return text.isEmpty() ? char16_t{0} : text.front().unicode();
}

}  // namespace kestrand::text
