#pragma once
// Run-time binding of a shared library by absolute path. A library once loaded
// stays loaded for the life of the process: entries that were handed out may
// still be called while the program shuts down.
//
// Tests install a factory that hands out a fake library instead of the real
// loader, so the binding code can be driven without a built plug-in.

#include <QString>
#include <functional>
#include <memory>

class TDynLib {
public:
    virtual ~TDynLib() = default;   // never unloads the library
    // Loads the library at path (resolving every symbol now). False when it cannot
    // be loaded; ErrorText then tells why.
    virtual bool Load(const QString& path) = 0;
    // The address of the exported entry, nullptr when absent (ErrorText tells why).
    virtual void* Symbol(const char* name) = 0;
    virtual QString ErrorText() const = 0;
};

using TDynLibFactory = std::function<std::unique_ptr<TDynLib>()>;

// A loader: the one the factory gives, else the system's dynamic loader.
std::unique_ptr<TDynLib> CreateDynLib();
// Installs a factory for tests; an empty one restores the system's loader.
void SetDynLibFactory(TDynLibFactory factory);
