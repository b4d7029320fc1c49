#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

namespace testing_support {

// Types one character with its text as a keyboard layout delivers it. QTest::keyClicks
// passes characters through Latin-1, which loses Persian letters.
inline void typeCharacter(QWidget* widget, char16_t code, Qt::Key key = Qt::Key_unknown) {
    QTest::sendKeyEvent(QTest::Click, widget, key, QString(QChar(code)), Qt::NoModifier);
}

// Ctrl+P as the platform sends it where the event carries the control character itself.
inline void typeControlP(QWidget* widget) {
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_P, QString(QChar(0x10)), Qt::ControlModifier);
}

}  // namespace testing_support
