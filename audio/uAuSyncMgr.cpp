#include "audio/uAuSyncMgr.h"

#include <atomic>

TAuSyncMgr::TAuSyncMgr()
{
    FThread = std::thread([this] { Execute(); });
}

TAuSyncMgr::~TAuSyncMgr()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FTerminated = true;
    }
    FChanged.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TAuSyncMgr::Enqueue(const void* object, TCall call)
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FTerminated)
            return;
        FQueue.push_back(TEntry{object, std::move(call)});
    }
    FChanged.notify_all();
}

void TAuSyncMgr::RemoveObject(const void* object)
{
    std::deque<TEntry> dropped;   // freed outside the lock: a call's captures may be heavy
    std::unique_lock<std::mutex> guard(FLock);
    for (auto it = FQueue.begin(); it != FQueue.end();) {
        if (it->Object == object) {
            dropped.push_back(std::move(*it));
            it = FQueue.erase(it);
        } else {
            ++it;
        }
    }
    if (FCurrentObject == object) {
        // A call may remove its own object (a handler frees its sender); it
        // cannot wait for itself.
        if (!OnSyncThread())
            FChanged.wait(guard, [&] { return FCurrentObject != object; });
    }
    guard.unlock();
}

std::size_t TAuSyncMgr::Pending()
{
    std::lock_guard<std::mutex> guard(FLock);
    return FQueue.size();
}

void TAuSyncMgr::Execute()
{
    std::unique_lock<std::mutex> guard(FLock);
    for (;;) {
        FChanged.wait(guard, [this] { return FTerminated || !FQueue.empty(); });
        if (FTerminated)
            break;
        TEntry entry = std::move(FQueue.front());
        FQueue.pop_front();
        FCurrentObject = entry.Object;
        guard.unlock();
        try {
            entry.Call();
        } catch (...) {
            // A notification's fault must not end the engine's only notification thread.
        }
        entry.Call = nullptr;   // its captures go before the object counts as done
        guard.lock();
        FCurrentObject = nullptr;
        FChanged.notify_all();
    }
    FQueue.clear();
}

namespace {
std::atomic<TAuSyncMgr*> GlobalSyncMgr{nullptr};
} // namespace

TAuSyncMgr* SyncMgr()
{
    return GlobalSyncMgr.load();
}

void StartSyncMgr()
{
    if (!GlobalSyncMgr.load())
        GlobalSyncMgr.store(new TAuSyncMgr);
}

void StopSyncMgr()
{
    delete GlobalSyncMgr.exchange(nullptr);
}

void SyncEnqueue(const void* object, TAuSyncMgr::TCall call)
{
    if (TAuSyncMgr* mgr = SyncMgr())
        mgr->Enqueue(object, std::move(call));
}

void SyncRemoveObject(const void* object)
{
    if (TAuSyncMgr* mgr = SyncMgr())
        mgr->RemoveObject(object);
}
