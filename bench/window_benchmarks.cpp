#include "bench/window_benchmarks.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include "forms/fonts.h"
#include "trailscan/app/memory.h"

namespace bench {

int runWindowBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    trailscan::app::keepLargeBlocks();
    forms::installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace bench
