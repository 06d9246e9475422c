#include "audio/uAuProtocol.h"

#include <QIODevice>

TAuStreamProtocol::TAuStreamProtocol(QIODevice* stream)
    : FStream(stream), FSeekable(stream && !stream->isSequential())
{
}

std::int32_t TAuStreamProtocol::Read(void* buffer, std::int32_t count)
{
    if (!FStream || count <= 0)
        return 0;
    const qint64 got = FStream->read(static_cast<char*>(buffer), count);
    return got > 0 ? static_cast<std::int32_t>(got) : 0;
}

std::int64_t TAuStreamProtocol::Seek(std::int32_t origin, std::int64_t offset)
{
    if (!FStream)
        return 0;
    if (!FSeekable)
        return FStream->pos();
    qint64 target = offset;
    if (origin == auSeekFromCurrent)
        target = FStream->pos() + offset;
    else if (origin == auSeekFromEnd)
        target = FStream->size() + offset;
    if (target < 0)
        target = 0;
    FStream->seek(target);
    return FStream->pos();
}
