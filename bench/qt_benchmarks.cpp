#include "bench/qt_benchmarks.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include "forms/fonts.h"

namespace bench {

int runQtBenchmarks(int argc, char** argv, void (*prepare)()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (prepare != nullptr) {
        prepare();
    }
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
