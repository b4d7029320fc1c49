#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QString>
#include <QWidget>

namespace kestrand_test {

// Runs the deferred deletes of closed windows.
inline void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

template <typename T>
T* child(QWidget* window, const QString& name) {
    return window->findChild<T*>(name);
}

}  // namespace kestrand_test
