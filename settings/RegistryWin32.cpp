#include "RegistryWin32.h"

#include "framework/UniqueHandle.h"

int Win32Registry::QueryValue(const std::wstring& keyPath, const std::wstring& name, std::vector<uint8_t>& data,
                              uint32_t& type) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return -1;
    // One query serves the usual short value; a longer one is read whole with the size
    // the registry reports (which may grow between calls, so ask again then).
    std::vector<uint8_t> buffer(256);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD got = static_cast<DWORD>(buffer.size());
        DWORD stored = 0;
        const LSTATUS status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &stored, buffer.data(), &got);
        if (status == ERROR_SUCCESS) {
            buffer.resize(got);
            data = std::move(buffer);
            type = stored;
            return 0;
        }
        if (status != ERROR_MORE_DATA) return -1;
        buffer.resize(static_cast<std::size_t>(got) + 2);
    }
    return -1;
}

int Win32Registry::SetValue(const std::wstring& keyPath, const std::wstring& name, uint32_t type,
                            const std::vector<uint8_t>& data) {
    unique_hkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return -1;
    return RegSetValueExW(key.get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) ==
                   ERROR_SUCCESS
               ? 0
               : -1;
}

namespace {
Win32Registry& Registry() {
    static Win32Registry registry;
    return registry;
}
}  // namespace

int ReadRegString(const std::wstring& keyPath, const std::wstring& name, std::wstring& out) {
    return ReadRegString(Registry(), keyPath, name, out);
}
int ReadRegDword(const std::wstring& keyPath, const std::wstring& name, int32_t& out) {
    return ReadRegDword(Registry(), keyPath, name, out);
}
int WriteRegString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) {
    return WriteRegString(Registry(), keyPath, name, text);
}
int WriteRegDword(const std::wstring& keyPath, const std::wstring& name, int32_t value) {
    return WriteRegDword(Registry(), keyPath, name, value);
}
bool WriteSettingString(const std::wstring& section, const std::wstring& name, const std::wstring& text) {
    return WriteSettingString(Registry(), section, name, text);
}
bool WriteSettingDword(const std::wstring& section, const std::wstring& name, int32_t value) {
    return WriteSettingDword(Registry(), section, name, value);
}
void LoadSettings(const std::wstring& section, BackupSettings& settings) {
    LoadSettings(Registry(), section, settings);
}
void SaveSettings(const std::wstring& section, const BackupSettings& settings) {
    SaveSettings(Registry(), section, settings);
}
void LoadHousekeeping(const std::wstring& section, HousekeepingSettings& settings) {
    LoadHousekeeping(Registry(), section, settings);
}
void SaveHousekeepingChanges(const std::wstring& section, const HousekeepingSettings& loaded,
                             const HousekeepingSettings& chosen) {
    SaveHousekeepingChanges(Registry(), section, loaded, chosen);
}
