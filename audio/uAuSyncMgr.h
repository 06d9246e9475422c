#pragma once
// The engine's one notification thread. Engine threads (the idle threads of
// the players) queue calls here instead of running notifications themselves,
// so that a slow handler never stalls the audio. Calls run in queue order on
// this thread; an exception from a call is swallowed.
//
// Every queued call belongs to an object (any address used as a key).
// RemoveObject drops the object's queued calls and, unless it runs on the
// notification thread itself, waits until a call of that object that is
// running right now has returned: after it the object may be freed.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TAuSyncMgr {
public:
    using TCall = std::function<void()>;

    TAuSyncMgr();
    // Ends the thread after the call that runs; queued calls are dropped.
    ~TAuSyncMgr();
    TAuSyncMgr(const TAuSyncMgr&) = delete;
    TAuSyncMgr& operator=(const TAuSyncMgr&) = delete;

    void Enqueue(const void* object, TCall call);
    void RemoveObject(const void* object);
    bool OnSyncThread() const { return std::this_thread::get_id() == FThread.get_id(); }
    // Calls queued and not yet run (tests).
    std::size_t Pending();

private:
    struct TEntry {
        const void* Object;
        TCall Call;
    };
    void Execute();

    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TEntry> FQueue;
    const void* FCurrentObject = nullptr;   // the object of the call that runs
    bool FTerminated = false;
    std::thread FThread;
};

// The global instance, nullptr before StartSyncMgr and after StopSyncMgr.
TAuSyncMgr* SyncMgr();
// Both on the main thread: start once before any player, stop after the last.
void StartSyncMgr();
void StopSyncMgr();
// Through the global instance; do nothing without it.
void SyncEnqueue(const void* object, TAuSyncMgr::TCall call);
void SyncRemoveObject(const void* object);
