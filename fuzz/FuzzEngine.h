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

// The main module of the run, created on first use. Every call resets it to a
// new empty show: no delayed commands, no show name, an empty error log.
TModuleMain& FuzzMainModule();

// An empty error log: keeps the run's memory flat.
void FuzzClearLogs();
