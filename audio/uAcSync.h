#pragma once
// The recursive lock of the audio engine: a thread may acquire it again while
// it holds it and must release it as often as it acquired it. Every player and
// the sound-card stream driver serialise their operations with one.

#include <mutex>

class TAcMutex {
public:
    void Acquire() { FMutex.lock(); }
    void Release() { FMutex.unlock(); }

private:
    std::recursive_mutex FMutex;
};

using TAcLock = TAcMutex;

inline void AcquireIfAssigned(TAcMutex* lock)
{
    if (lock)
        lock->Acquire();
}

inline void ReleaseIfAssigned(TAcMutex* lock)
{
    if (lock)
        lock->Release();
}

// Holds a lock for one scope, released on every path (exceptions included).
class TAcLocker {
public:
    explicit TAcLocker(TAcMutex& lock) : FLock(lock) { FLock.Acquire(); }
    ~TAcLocker() { FLock.Release(); }
    TAcLocker(const TAcLocker&) = delete;
    TAcLocker& operator=(const TAcLocker&) = delete;

private:
    TAcMutex& FLock;
};
