#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>

namespace testing_support {

// Ends a test whose window lacks a control it looks for; GoogleTest reports the exception
// as a failure of the test.
class MissingControl : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The control of kind W that `window` names `objectName`, the one way tests reach a
// window's controls. A missing control fails the test and ends it, so helpers that return
// a control need no null checks of their own.
template <class W>
W* control(const QObject* window, const QString& objectName) {
    W* found = window == nullptr ? nullptr : window->findChild<W*>(objectName);
    if (found == nullptr) {
        const std::string what =
            "no " + std::string(W::staticMetaObject.className()) + " named \"" +
            objectName.toStdString() + "\" in " +
            (window == nullptr ? std::string("a missing window")
                               : "\"" + window->objectName().toStdString() + "\"");
        ADD_FAILURE() << what;
        throw MissingControl(what);
    }
    return found;
}

// One control of a control array, named as the windows name them: "Command1(6)".
template <class W>
W* control(const QObject* window, const QString& arrayName, int index) {
    return control<W>(window, QStringLiteral("%1(%2)").arg(arrayName).arg(index));
}

}  // namespace testing_support
