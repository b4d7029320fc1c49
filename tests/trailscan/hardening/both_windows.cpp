#include "tests/trailscan/hardening/both_windows.h"

#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "trailscan/report/report_view.h"

namespace hardening {

namespace {
std::int64_t statusBytes(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == name) {
            std::int64_t kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return -1;
}
}  // namespace

std::int64_t residentBytes() { return statusBytes("VmRSS:"); }
std::int64_t peakResidentBytes() { return statusBytes("VmHWM:"); }

// Linux sets the peak back to what is resident now when "5" is written here.
void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

Watchdog::Watchdog(std::chrono::seconds deadline, std::string what)
    : thread_([this, deadline, what = std::move(what)] {
          std::unique_lock lock(mutex_);
          if (!finished_.wait_for(lock, deadline, [this] { return done_; })) {
              std::fprintf(stderr, "Did not finish within %lld s: %s\n",
                           static_cast<long long>(deadline.count()), what.c_str());
              std::fflush(stderr);
              std::_Exit(EXIT_FAILURE);
          }
      }) {}

Watchdog::~Watchdog() {
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    finished_.notify_all();
    thread_.join();
}

void BothWindowsTest::SetUp() {
    search = std::make_unique<trailscan::search::SearchWindow>(scripted.platform);
    browser = std::make_unique<trailscan::browser::BrowserWindow>(scripted.platform);
    search->show();
    browser->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(browser.get()));
}

QString BothWindowsTest::write(const std::string& name, const std::string& bytes) const {
    return QString::fromStdString(dir.write(name, bytes).string());
}

QString BothWindowsTest::pathOf(const std::string& name) const {
    return QString::fromStdString((dir.path() / name).string());
}

void BothWindowsTest::openInSearch(const QString& path) {
    scripted.chooser.answer(path);
    QTest::mouseClick(control<QPushButton>(search.get(), "Command2"), Qt::LeftButton);
}

QString BothWindowsTest::report() const {
    return control<ReportView>(search.get(), "Text3")->text();
}

void BothWindowsTest::searchRecordNumber(const QString& text) {
    QTest::mouseClick(control<QPushButton>(search.get(), "Command1", 1), Qt::LeftButton);
    control<QLineEdit>(search.get(), "Text4")->clear();
    QTest::keyClicks(control<QLineEdit>(search.get(), "Text4"), text);
    QTest::mouseClick(control<QPushButton>(search.get(), "Command3"), Qt::LeftButton);
}

void BothWindowsTest::chooseInBrowser(const QString& path) {
    scripted.chooser.answer(path);
    click(choose());
}

int BothWindowsTest::warnings() const {
    int count = 0;
    for (const auto& message : scripted.messenger.messages) {
        count += message.warning ? 1 : 0;
    }
    return count;
}

}  // namespace hardening
