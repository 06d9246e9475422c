#pragma once
// A first-in first-out byte queue made of reusable buckets, each tagged with a
// timecode. Emptied buckets move to the end of the list and are filled again by
// later writes, so steady writing and reading of like sizes allocates nothing.
// Not thread-safe: its users lock around it.

#include <cstdint>
#include <memory>
#include <deque>

struct TAcBufferBucket {
    bool Empty = true;
    std::unique_ptr<std::uint8_t[]> Data;
    std::int64_t Capacity = 0;    // bytes allocated
    std::int64_t Remaining = 0;   // bytes not yet read
    std::int64_t ReadPos = 0;     // bytes already read
    std::int32_t Tag = 0;         // timecode in milliseconds
    std::int64_t StreamPos = 0;   // bytes written to the buffer before this bucket
    std::int64_t Size = 0;        // bytes written into this bucket
};

class TAcBuffer {
public:
    void Write(const void* source, std::int64_t count, std::int32_t tag);
    // Copies up to count bytes; returns the bytes copied.
    std::int64_t Read(void* destination, std::int64_t count);
    // Frees every bucket; CurrentTag keeps its value.
    void Clear();
    std::int64_t Size() const { return FSize; }
    // The tag of the bucket last read from.
    std::int32_t CurrentTag() const { return FCurrentTag; }
    std::int64_t Written() const { return FWritten; }
    std::size_t BucketCount() const { return FBuckets.size(); }
    // Bytes of bucket memory held (the buckets' capacities); 0 after Clear.
    std::int64_t Allocated() const { return FAllocated; }

private:
    std::deque<std::unique_ptr<TAcBufferBucket>> FBuckets;
    std::int64_t FSize = 0;
    std::int32_t FCurrentTag = 0;
    std::int64_t FWritten = 0;
    std::int64_t FAllocated = 0;
};
