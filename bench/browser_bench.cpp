// The record browser's ">>" and "<<" near the start and near the end of a 1 GB log. Each
// step is timed on its own; the moves that put the channel back in place between timed
// steps are not counted.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QString>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/bench_logs.h"
#include "bench/window_benchmarks.h"
#include "common/code_pages.h"
#include "forms/platform.h"
#include "trailscan/browser/browser_window.h"
#include "trailscan/browser/stepping.h"
#include "trailscan/log/record.h"

namespace {

namespace fs = std::filesystem;
using trailscan::browser::SavedLengths;
using Clock = std::chrono::steady_clock;

// Both regions are this far from their end of the file; the steps stay inside them.
constexpr std::int64_t kRegion = 8 << 20;

// About 1 GB (or 4 GB) of realistic 23-field lines, written once and shared with the
// other benches. The benchmarks' argument is the size in GiB.
fs::path benchLog(std::int64_t gigabytes = 1) {
    return bench::generatedLog(static_cast<std::uint64_t>(gigabytes) << 30);
}

std::int64_t logSize(std::int64_t gigabytes) {
    return static_cast<std::int64_t>(fs::file_size(benchLog(gigabytes)));
}

// The steps as the window takes them, without the widgets: read, save the length, count,
// and turn the fields into the boxes' texts.
class Stepper {
  public:
    explicit Stepper(const fs::path& path) { channel_.open(path); }

    void forward() {
        trailscan::browser::readNext(channel_, slots_, lengths_, counter_);
        show();
    }
    void back() {
        trailscan::browser::moveBack(channel_, counter_, lengths_);
        trailscan::browser::readNext(channel_, slots_, lengths_, counter_);
        show();
    }
    // Puts the channel at the first record from `position` on and reads two records.
    void placeAt(std::int64_t position) {
        channel_.seek(position);
        channel_.readLine();
        counter_ = 1000;
        forward();
        forward();
    }
    std::int64_t position() const { return channel_.position(); }

  private:
    void show() {
        for (int i = 0; i < trailscan::log::kFieldCount; ++i) {
            const auto& field = slots_[static_cast<std::size_t>(i)];
            texts_[i] = QString::fromStdU16String(
                common::decodeWindows1252(trailscan::browser::boxText(field)));
        }
        benchmark::DoNotOptimize(texts_);
    }

    trailscan::log::Channel channel_;
    trailscan::log::FieldSlots slots_{};
    SavedLengths lengths_;
    std::int64_t counter_ = 0;
    QString texts_[trailscan::log::kFieldCount];
};

template <typename Step>
double timed(Step&& step) {
    const auto start = Clock::now();
    step();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Steps forward through a region of the file, back to its start when it runs out.
void forwardSteps(benchmark::State& state, std::int64_t regionStart) {
    Stepper stepper(benchLog(state.range(0)));
    stepper.placeAt(regionStart);
    for (auto _ : state) {
        if (stepper.position() > regionStart + kRegion) {
            stepper.placeAt(regionStart);
        }
        state.SetIterationTime(timed([&] { stepper.forward(); }));
    }
}

// Steps back through a region of the file, back to its end when it runs out.
void backSteps(benchmark::State& state, std::int64_t regionStart) {
    Stepper stepper(benchLog(state.range(0)));
    stepper.placeAt(regionStart + kRegion);
    for (auto _ : state) {
        if (stepper.position() < regionStart + 4096) {
            stepper.placeAt(regionStart + kRegion);
        }
        state.SetIterationTime(timed([&] { stepper.back(); }));
    }
}

void BM_ForwardNearStart(benchmark::State& state) { forwardSteps(state, 1); }
void BM_ForwardNearEnd(benchmark::State& state) {
    forwardSteps(state, logSize(state.range(0)) - kRegion - 4096);
}
void BM_BackNearStart(benchmark::State& state) { backSteps(state, 1); }
void BM_BackNearEnd(benchmark::State& state) {
    backSteps(state, logSize(state.range(0)) - kRegion - 4096);
}
BENCHMARK(BM_ForwardNearStart)->Arg(1)->Arg(4)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ForwardNearEnd)->Arg(1)->Arg(4)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BackNearStart)->Arg(1)->Arg(4)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BackNearEnd)->Arg(1)->Arg(4)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The real window, clicked, on the same log: a whole ">>" and a whole "<<" with the boxes
// filled, from the first records.
class BenchChooser final : public forms::FileChooser {
  public:
    std::optional<QString> choose(QWidget*, const forms::FileRequest&) override {
        return QString::fromStdString(benchLog().string());
    }
    std::optional<QString> chooseSave(QWidget*, const forms::FileRequest&) override {
        return std::nullopt;
    }
};
class SilentEnd final : public forms::ProgramEnd {
  public:
    void end() override {}
};
class SilentMessenger final : public forms::Messenger {
  public:
    void inform(QWidget*, const QString&, const QString&) override {}
    void warn(QWidget*, const QString&, const QString&) override {}
    std::optional<QString> askText(QWidget*, const QString&, const QString&,
                                   const QString&) override {
        return std::nullopt;
    }
};

struct OpenWindow {
    BenchChooser chooser;
    SilentEnd end;
    SilentMessenger messenger;
    forms::Platform platform{chooser, end, messenger};
    trailscan::browser::BrowserWindow window{platform};
    QPushButton* forward = window.findChild<QPushButton*>("Command1");
    QPushButton* back = window.findChild<QPushButton*>("Command2");

    OpenWindow() {
        forward->click();  // opens the log, counts its lines, shows record 1
        forward->click();
        forward->click();
    }
};

void BM_WindowForward(benchmark::State& state) {
    static OpenWindow open;
    for (auto _ : state) {
        state.SetIterationTime(timed([&] { open.forward->click(); }));
    }
}

// Each "<<" is timed; a ">>" after it, not timed, brings the window back to where it was.
void BM_WindowBack(benchmark::State& state) {
    static OpenWindow open;
    for (auto _ : state) {
        state.SetIterationTime(timed([&] { open.back->click(); }));
        open.forward->click();
    }
}
BENCHMARK(BM_WindowForward)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowBack)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::printf("log: %s\n", benchLog().string().c_str());
    return bench::runWindowBenchmarks(argc, argv);
}
