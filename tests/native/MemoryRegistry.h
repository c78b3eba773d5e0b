// An in-memory registry for the store's tests: values by key path and name, a log of
// the calls made, and writes that can be made to fail.
#pragma once
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "settings/SettingsStore.h"

struct StoredValue {
    uint32_t type;
    std::vector<uint8_t> data;
    bool operator==(const StoredValue& o) const { return type == o.type && data == o.data; }
    bool operator!=(const StoredValue& o) const { return !(*this == o); }
};

class MemoryRegistry : public RegistryBackend {
public:
    int QueryValue(const std::wstring& keyPath, const std::wstring& name, std::vector<uint8_t>& data,
                   uint32_t& type) override {
        log.push_back(L"read " + name);
        auto it = values.find({keyPath, name});
        if (it == values.end()) return -1;
        data = it->second.data;
        type = it->second.type;
        return 0;
    }
    int SetValue(const std::wstring& keyPath, const std::wstring& name, uint32_t type,
                 const std::vector<uint8_t>& data) override {
        log.push_back(L"write " + name);
        if (failingWrites.count(name)) return -1;
        values[{keyPath, name}] = {type, data};
        return 0;
    }

    std::map<std::pair<std::wstring, std::wstring>, StoredValue> values;
    std::vector<std::wstring> log;
    std::set<std::wstring> failingWrites;
};
