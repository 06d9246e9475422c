#include "audio/uAcClasses.h"

std::int32_t TAcLinkedList::Add(void* data)
{
    auto* node = new TNode{nullptr, data};
    if (FLast)
        FLast->Next = node;
    else
        FFirst = node;
    FLast = node;
    return FCount++;
}

void* TAcLinkedList::GetCurrent()
{
    if (!FCursor)
        return nullptr;
    void* data = FCursor->Data;
    FCursor = FCursor->Next;
    return data;
}

void TAcLinkedList::Clear()
{
    for (TNode* node = FFirst; node;) {
        TNode* next = node->Next;
        delete node;
        node = next;
    }
    FFirst = FLast = FCursor = nullptr;
    FCount = 0;
}

void TAcRegistrationServer::Register(const std::string& className, const std::string& classPath,
                                     TAcCreator creator)
{
    FEntries.push_back(TAcRegistrationEntry{className, classPath, 0, std::move(creator)});
}

const TAcCreator* TAcRegistrationServer::FindCreator(const std::string& name) const
{
    for (const TAcRegistrationEntry& entry : FEntries)
        if (entry.ClassName == name)
            return &entry.Creator;
    return nullptr;
}

void TAcRegistrationServer::Enumerate(const std::string& className,
                                      const std::function<void(const TAcRegistrationEntry&)>& callback) const
{
    // Walk by index: a callback may not register, but a copy keeps it safe anyway.
    for (std::size_t i = 0; i < FEntries.size(); ++i)
        if (ClassPathContains(FEntries[i].ClassPath, className))
            callback(FEntries[i]);
}

void TAcRegistrationServer::Clear()
{
    FEntries.clear();
}

TAcRegistrationServer& AudioRegistry()
{
    static TAcRegistrationServer server;
    return server;
}

bool ClassPathContains(const std::string& path, const std::string& name)
{
    if (path.size() < name.size())
        return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '.') {
            if (i - start == name.size() && path.compare(start, name.size(), name) == 0)
                return true;
            start = i + 1;
        }
    }
    return false;
}
