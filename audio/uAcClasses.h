#pragma once
// The audio engine's class registry. Output drivers, decoders and protocols
// make themselves known once at start-up (RegisterAudioClasses in
// uAuRegistry.h, on the main thread, before any player exists) and are later
// found by class name or by ancestry. The order of registration is behaviour:
// the first decoder that accepts a file plays it, and the first of two drivers
// with equal priority wins.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TAuProtocol;

// Base of every registrable class. A registrable class names itself and its
// base class so that its dotted class path can be built:
//     static constexpr const char* ClassName = "TAuWAVDecoder";
//     using ClassBase = TAuDecoder;
class TAcPersistent {
public:
    static constexpr const char* ClassName = "TAcPersistent";
    virtual ~TAcPersistent() = default;
};

// A singly linked list of data pointers; it does not own the data.
class TAcLinkedList {
public:
    TAcLinkedList() = default;
    TAcLinkedList(const TAcLinkedList&) = delete;
    TAcLinkedList& operator=(const TAcLinkedList&) = delete;
    ~TAcLinkedList() { Clear(); }

    // Appends a node; returns the index it got (the count before adding).
    std::int32_t Add(void* data);
    void StartIteration() { FCursor = FFirst; }
    // The cursor's data; moves the cursor to the next node.
    void* GetCurrent();
    bool ReachedEnd() const { return FCursor == nullptr; }
    void Clear();
    std::int32_t Count() const { return FCount; }

private:
    struct TNode {
        TNode* Next;
        void* Data;
    };
    TNode* FFirst = nullptr;
    TNode* FLast = nullptr;
    TNode* FCursor = nullptr;
    std::int32_t FCount = 0;
};

// Makes a new instance. Decoders get the protocol they read from; drivers and
// protocols are made without one (the argument is nullptr and ignored).
using TAcCreator = std::function<std::unique_ptr<TAcPersistent>(TAuProtocol* protocol)>;

struct TAcRegistrationEntry {
    std::string ClassName;   // at most 255 bytes
    std::string ClassPath;   // "TAcPersistent.TAuDecoder.TAuWAVDecoder", at most 255 bytes
    std::int32_t Reserved = 0;
    TAcCreator Creator;
};

class TAcRegistrationServer {
public:
    void Register(const std::string& className, const std::string& classPath, TAcCreator creator);
    // The creator of the first entry whose class name equals name exactly
    // (case-sensitive); nullptr when none does.
    const TAcCreator* FindCreator(const std::string& name) const;
    // Every entry, in registration order, whose class path holds className as one
    // dot-separated component: the class itself and its registered descendants.
    void Enumerate(const std::string& className,
                   const std::function<void(const TAcRegistrationEntry&)>& callback) const;
    // Drops every entry (tests; the program registers once per process).
    void Clear();
    const std::vector<TAcRegistrationEntry>& Entries() const { return FEntries; }

private:
    std::vector<TAcRegistrationEntry> FEntries;
};

// The one registry of the process.
TAcRegistrationServer& AudioRegistry();

// True when the dotted path holds name as one whole component.
bool ClassPathContains(const std::string& path, const std::string& name);

namespace AcDetail {
template <class T>
std::string ClassPathOf()
{
    if constexpr (requires { typename T::ClassBase; })
        return ClassPathOf<typename T::ClassBase>() + '.' + T::ClassName;
    else
        return T::ClassName;
}
} // namespace AcDetail

// The class path of T, cut to 255 bytes.
template <class T>
std::string AudioClassPath()
{
    std::string path = AcDetail::ClassPathOf<T>();
    if (path.size() > 255)
        path.resize(255);
    return path;
}

template <class T>
void RegisterAudioClass(TAcCreator creator)
{
    std::string name = T::ClassName;
    if (name.size() > 255)
        name.resize(255);
    AudioRegistry().Register(name, AudioClassPath<T>(), std::move(creator));
}
