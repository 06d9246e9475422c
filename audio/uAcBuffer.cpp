#include "audio/uAcBuffer.h"

#include <algorithm>
#include <cstring>

void TAcBuffer::Write(const void* source, std::int64_t count, std::int32_t tag)
{
    if (count < 0)
        count = 0;
    // Reuse the first bucket of the trailing run of empty buckets; append a new
    // one when the last bucket still holds data.
    std::size_t index = FBuckets.size();
    while (index > 0 && FBuckets[index - 1]->Empty)
        --index;
    if (index == FBuckets.size())
        FBuckets.push_back(std::make_unique<TAcBufferBucket>());
    TAcBufferBucket& bucket = *FBuckets[index];

    bucket.Tag = tag;
    bucket.StreamPos = FWritten;
    if (count > bucket.Capacity) {
        bucket.Data = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(count));
        FAllocated += count - bucket.Capacity;
        bucket.Capacity = count;
    }
    if (count > 0)
        std::memcpy(bucket.Data.get(), source, static_cast<std::size_t>(count));
    bucket.Remaining = count;
    bucket.Size = count;
    bucket.ReadPos = 0;
    bucket.Empty = false;

    FSize += count;
    FWritten += count;
}

std::int64_t TAcBuffer::Read(void* destination, std::int64_t count)
{
    auto* out = static_cast<std::uint8_t*>(destination);
    std::int64_t total = 0;
    while (!FBuckets.empty() && total < count) {
        TAcBufferBucket& bucket = *FBuckets.front();
        if (bucket.Empty)
            break;
        const std::int64_t n = std::min(count - total, bucket.Remaining);
        if (n > 0)
            std::memcpy(out + total, bucket.Data.get() + bucket.ReadPos, static_cast<std::size_t>(n));
        bucket.ReadPos += n;
        bucket.Remaining -= n;
        bucket.Empty = bucket.Remaining == 0;
        total += n;
        FCurrentTag = bucket.Tag;
        if (bucket.Empty) {
            // The emptied bucket goes to the end, where Write fills it again.
            FBuckets.push_back(std::move(FBuckets.front()));
            FBuckets.pop_front();
        }
    }
    FSize -= total;
    return total;
}

void TAcBuffer::Clear()
{
    FBuckets.clear();
    FAllocated = 0;
    FWritten = 0;
    FSize = 0;
}
