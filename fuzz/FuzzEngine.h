#pragma once
// Shared set-up of the fuzz targets: one application object, one temporary
// program folder and one main module for the whole run. Building a main module
// costs milliseconds, so each input resets the one module set instead.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

class TModuleMain;

// The input as bytes (shares nothing with libFuzzer's buffer).
QByteArray FuzzBytes(const std::uint8_t* data, std::size_t size);

// The temporary program folder, with a trailing '/'.
QString FuzzProgramDir();

// Writes bytes to name inside the program folder and returns the file's path.
QString FuzzWriteFile(const QString& name, const QByteArray& bytes);

// The main module of the run, created on first use with a new empty show.
TModuleMain& FuzzMainModule();

// Resets the main module (when there is one) to a new empty show: no delayed
// commands, no show name, an empty error log. Declared at the start of an input,
// it resets when the input is done, so that what the input made is freed within
// the input: libFuzzer runs a full leak check after every input that frees less
// than it allocates.
class TFuzzReset {
public:
    // showToo false: only the error log (the input touched no show data).
    explicit TFuzzReset(bool showToo = true) : FShowToo(showToo) {}
    ~TFuzzReset();
    TFuzzReset(const TFuzzReset&) = delete;
    TFuzzReset& operator=(const TFuzzReset&) = delete;

private:
    bool FShowToo;
};

// An empty error log: keeps the run's memory flat.
void FuzzClearLogs();
