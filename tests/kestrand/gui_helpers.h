#pragma once

#include <QCoreApplication>
#include <QEvent>

namespace kestrand_test {

// Runs the deferred deletes of closed windows.
inline void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace kestrand_test
