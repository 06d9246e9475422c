#pragma once
// A temporary program folder for a benchmark's engine: PV_PROGRAM_DIR points at it
// from construction on. With the DMX libraries, the output plug-in and the driver
// stand-in are copied in from the build's program folder (beside build/bench).

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "framework/uMod_Abstract.h"
#include "framework/uStringIniFile.h"

#include <benchmark/benchmark.h>

class TBenchProgramFolder {
public:
    explicit TBenchProgramFolder(bool withDmxLibraries = false)
    {
        if (withDmxLibraries) {
            const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/");
            for (const char* name : {"pvm_dmx.so", "libusbio.so"})
                QFile::copy(program + name, FDir.filePath(name));
        }
        qputenv("PV_PROGRAM_DIR", FDir.path().toUtf8());
    }
    QString File(const QString& name) const { return FDir.filePath(name); }

private:
    QTemporaryDir FDir;
};

// One module's show sections: written out per iteration (BenchModuleSave), or
// written once and read back per iteration (BenchModuleLoad).
inline void BenchModuleSave(benchmark::State& state, TModuleAbstract& module)
{
    for (auto _ : state) {
        QStringList lines;
        module.SaveToStrings(lines);
        benchmark::DoNotOptimize(lines);
    }
}

inline void BenchModuleLoad(benchmark::State& state, TModuleAbstract& module)
{
    QStringList lines;
    module.SaveToStrings(lines);
    TStringIniFile ini;
    ini.SetStrings(lines);
    for (auto _ : state)
        module.LoadIni(ini);
}
