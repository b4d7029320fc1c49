#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/browser_controls.h"
#include "tests/support/controls.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"
#include "trailscan/browser/browser_window.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"

namespace hardening {

using testing_support::control;
using testing_support::kOrange;
using testing_support::kRed;
using testing_support::linesOfLengths;
using trailscan::report::ReportView;

// Resident memory of this process in bytes, from /proc/self/status.
std::int64_t residentBytes();
// The most that was resident since the last resetPeakResident(), or -1 where the system
// cannot say.
std::int64_t peakResidentBytes();
void resetPeakResident();

// Ends the test process with a message when the guarded step has not finished by the
// deadline, so a step that blocks or reads forever fails the test instead of hanging it.
class Watchdog {
  public:
    Watchdog(std::chrono::seconds deadline, std::string what);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;
};

// Both windows of the program on one scripted platform, with the controls read back by
// their object names.
class BothWindowsTest : public ::testing::Test, protected testing_support::BrowserControls {
  protected:
    void SetUp() override;

    QString write(const std::string& name, const std::string& bytes) const;
    QString pathOf(const std::string& name) const;

    // Search window.
    void openInSearch(const QString& path);
    QString report() const;
    QString lineTotal() const { return control<QLineEdit>(search.get(), "Text5")->text(); }
    void searchRecordNumber(const QString& text);

    // Record browser.
    const QWidget* browserWindow() const override { return browser.get(); }
    void chooseInBrowser(const QString& path);
    int dialogs() const { return static_cast<int>(scripted.chooser.requests.size()); }
    int warnings() const;

    testing_support::TempDir dir;
    testing_support::ScriptedPlatform scripted;
    std::unique_ptr<trailscan::search::SearchWindow> search;
    std::unique_ptr<trailscan::browser::BrowserWindow> browser;
};

}  // namespace hardening
