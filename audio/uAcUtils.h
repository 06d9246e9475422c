#pragma once
// Small helpers of the audio engine: the millisecond clock, loading a shared
// library without disturbing the floating-point environment, and splitting a
// location into its parts.

#include <QString>

double ClockMs();   // monotonic, milliseconds

// dlopen with RTLD_NOW | RTLD_LOCAL; the floating-point environment (rounding
// mode, exception masks) is restored afterwards because a library's start-up
// code may change it and the sample rounding relies on it. nullptr on failure.
void* LoadLibrarySafe(const QString& path);
// The entry, nullptr when absent or when module is nullptr.
void* GetProcSafe(void* module, const char* name);
// False for nullptr, else whether the library was released.
bool FreeLibrarySafe(void* module);

struct TAcURLParts {
    QString Protocol, User, Password, Host, Port, FullPath, Path, Query;
};

TAcURLParts SplitURL(const QString& url);
