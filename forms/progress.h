#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

class QWidget;

namespace forms {

// Work that reads a file on a worker thread while its window waits: `done` of `total` bytes
// are read so far, and `cancel` asks the work to stop at its next step.
struct ProgressJob {
    QString title;
    QString label;
    std::int64_t total = 0;
    const std::atomic<std::int64_t>* done = nullptr;
    std::atomic<bool>* cancel = nullptr;
    std::function<void()> work;
    // For work that learns its size as it goes: read instead of `total` when set.
    const std::atomic<std::int64_t>* liveTotal = nullptr;
    // A line shown under the bytes (the files read, say); called on the window's thread.
    std::function<QString()> detail;
    // The Cancel button's caption; empty shows "Cancel".
    QString cancelCaption;
};

// Runs a job and waits for it. Returns false when the user cancelled it.
class ProgressRunner {
  public:
    virtual ~ProgressRunner() = default;
    virtual bool run(QWidget* parent, const ProgressJob& job) = 0;
};

// Production runner: the job on a thread of its own; the windows keep repainting, their
// input waits, and once the job has run for `delay` ms an application-modal progress dialog
// shows the bytes read and offers Cancel.
class DialogProgressRunner final : public ProgressRunner {
  public:
    explicit DialogProgressRunner(int delayMs = 500) : delayMs_(delayMs) {}
    bool run(QWidget* parent, const ProgressJob& job) override;

  private:
    int delayMs_;
};

// "1.5 GiB of 4.0 GiB": sizes as the reports write them (common::sizeText).
QString progressText(std::int64_t done, std::int64_t total);

}  // namespace forms
