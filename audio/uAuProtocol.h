#pragma once
// Byte sources the decoders read from: a stream (a file the player opened) or
// a location a protocol class opens itself (an audio CD track).

#include "audio/uAcClasses.h"

#include <QString>

#include <cstdint>

class QIODevice;

enum : std::int32_t { auSeekFromStart = 0, auSeekFromCurrent = 1, auSeekFromEnd = 2 };

class TAuProtocol : public TAcPersistent {
public:
    static constexpr const char* ClassName = "TAuProtocol";
    using ClassBase = TAcPersistent;

    // Up to count bytes into buffer; returns the bytes read (0 at the end).
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    virtual bool Seekable() = 0;
    // Moves to offset from origin (auSeekFrom...); returns the new position.
    virtual std::int64_t Seek(std::int32_t origin, std::int64_t offset) = 0;
    // The name or location this protocol reads (a file name, a cdda:// location).
    virtual QString URL() const { return QString(); }
};

// Reads a stream it does not own.
class TAuStreamProtocol : public TAuProtocol {
public:
    static constexpr const char* ClassName = "TAuStreamProtocol";
    using ClassBase = TAuProtocol;

    explicit TAuStreamProtocol(QIODevice* stream);
    std::int32_t Read(void* buffer, std::int32_t count) override;
    bool Seekable() override { return FSeekable; }
    std::int64_t Seek(std::int32_t origin, std::int64_t offset) override;
    QString URL() const override { return FURL; }
    void SetURL(const QString& url) { FURL = url; }

private:
    QIODevice* FStream;
    bool FSeekable;
    QString FURL;
};

// A protocol that opens a location itself.
class TAuURLProtocol : public TAuProtocol {
public:
    static constexpr const char* ClassName = "TAuURLProtocol";
    using ClassBase = TAuProtocol;

    virtual bool SupportsProtocol(const QString& name) = 0;
    // Stores the location; false at this level.
    virtual bool Open(const QString& url)
    {
        FURL = url;
        return false;
    }
    virtual void Close() = 0;
    virtual bool Opened() = 0;
    QString URL() const override { return FURL; }

protected:
    QString FURL;
};
