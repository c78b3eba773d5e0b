// The settings store on the current user's registry.
#pragma once
#include "SettingsStore.h"

// Values below HKEY_CURRENT_USER; every call opens the key and closes it on every path.
class Win32Registry : public RegistryBackend {
public:
    int QueryValue(const std::wstring& keyPath, const std::wstring& name, std::vector<uint8_t>& data,
                   uint32_t& type) override;
    int SetValue(const std::wstring& keyPath, const std::wstring& name, uint32_t type,
                 const std::vector<uint8_t>& data) override;
};

// The store's operations on the real registry.
int ReadRegString(const std::wstring& keyPath, const std::wstring& name, std::wstring& out);
int ReadRegDword(const std::wstring& keyPath, const std::wstring& name, int32_t& out);
int WriteRegString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text);
int WriteRegDword(const std::wstring& keyPath, const std::wstring& name, int32_t value);
bool WriteSettingString(const std::wstring& section, const std::wstring& name, const std::wstring& text);
bool WriteSettingDword(const std::wstring& section, const std::wstring& name, int32_t value);
void LoadSettings(const std::wstring& section, BackupSettings& settings);
void SaveSettings(const std::wstring& section, const BackupSettings& settings);
void LoadHousekeeping(const std::wstring& section, HousekeepingSettings& settings);
void SaveHousekeepingChanges(const std::wstring& section, const HousekeepingSettings& loaded,
                             const HousekeepingSettings& chosen);
