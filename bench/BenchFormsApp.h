#pragma once
// The application of a benchmark that needs widgets: Qt's offscreen platform
// unless another is set, and Google Benchmark's own arguments taken from argv.

#include <QApplication>
#include <benchmark/benchmark.h>

class TBenchFormsApp : public QApplication {
public:
    TBenchFormsApp(int& argc, char** argv) : QApplication(OffscreenUnlessSet(argc), argv)
    {
        benchmark::Initialize(&argc, argv);
        FArgumentsOk = !benchmark::ReportUnrecognizedArguments(argc, argv);
    }
    // False when an argument was neither Qt's nor the benchmark's (reported).
    bool ArgumentsOk() const { return FArgumentsOk; }

private:
    static int& OffscreenUnlessSet(int& argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }
    bool FArgumentsOk = true;
};
