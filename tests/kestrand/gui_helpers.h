#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <vector>

#include "kestrand/settings/report_opener.h"

namespace kestrand_test {

// Runs the deferred deletes of closed windows.
inline void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Answers OK by recording what it asked for, and counts the calls to close everything.
struct RecordedReports final : kestrand::settings::ReportOpener {
    void open(QWidget* /*dialog*/, const kestrand::settings::ReportOrder& order) override {
        orders.push_back(order);
    }
    void closeAll() override { ++closed; }

    std::vector<kestrand::settings::ReportOrder> orders;
    int closed = 0;
};

}  // namespace kestrand_test
