#pragma once
// A fixed table from a device's number or letter to its path, built on first
// use: from an environment variable that replaces the whole table
// ("key=path,key=path"; keys it does not name have no device), else from the
// default table. Tests replace it with Set and go back with Reset. Any thread.

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

template <class Key>
class TDeviceTable {
public:
    using TMap = std::map<Key, std::string>;
    // keyOf turns an assignment's left side into a key; false skips the assignment.
    using TKeyOf = bool (*)(const std::string& text, Key& key);

    TDeviceTable(const char* variable, TKeyOf keyOf, TMap (*defaults)())
        : FVariable(variable), FKeyOf(keyOf), FDefaults(defaults)
    {
    }

    // The whole table.
    TMap Table()
    {
        std::lock_guard<std::mutex> g(FLock);
        if (!FSet) {
            FTable = Build();
            FSet = true;
        }
        return FTable;
    }
    // The path of a key; empty when the table names none.
    std::string Path(const Key& key)
    {
        const TMap table = Table();
        const auto it = table.find(key);
        return it == table.end() ? std::string() : it->second;
    }
    void Set(const TMap& table)
    {
        std::lock_guard<std::mutex> g(FLock);
        FTable = table;
        FSet = true;
    }
    // Built again now, from the variable as it is now.
    void Reset()
    {
        std::lock_guard<std::mutex> g(FLock);
        FTable = Build();
        FSet = true;
    }

private:
    TMap Build() const
    {
        const char* env = std::getenv(FVariable);
        if (!env)
            return FDefaults();
        TMap table;
        const std::string s(env);
        std::size_t pos = 0;
        while (pos <= s.size()) {
            std::size_t end = s.find(',', pos);
            if (end == std::string::npos)
                end = s.size();
            const std::string item = s.substr(pos, end - pos);
            const std::size_t eq = item.find('=');
            Key key;
            if (eq != std::string::npos && eq + 1 < item.size() && FKeyOf(item.substr(0, eq), key))
                table[key] = item.substr(eq + 1);
            pos = end + 1;
        }
        return table;
    }

    const char* FVariable;
    TKeyOf FKeyOf;
    TMap (*FDefaults)();
    std::mutex FLock;
    TMap FTable;
    bool FSet = false;
};
