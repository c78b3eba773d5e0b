// The settings store: registry value encoding and decoding, the per-value registry
// functions and the load/save order of BackupSettings, over a registry interface.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "BackupSettings.h"
#include "HousekeepingSettings.h"

constexpr uint32_t kRegSz = 1;     // REG_SZ
constexpr uint32_t kRegDword = 4;  // REG_DWORD

// Raw access to values below HKEY_CURRENT_USER. Each call opens (or creates) the key,
// handles one value and closes the key again.
class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;
    // 0, the value's bytes and the type it is stored with; -1 when the key or the value
    // cannot be read (`data` and `type` are then unchanged).
    virtual int QueryValue(const std::wstring& keyPath, const std::wstring& name, std::vector<uint8_t>& data,
                           uint32_t& type) = 0;
    // Opens or creates the key and stores the value; 0 or -1.
    virtual int SetValue(const std::wstring& keyPath, const std::wstring& name, uint32_t type,
                         const std::vector<uint8_t>& data) = 0;
};

// Every forward slash becomes a backslash.
std::wstring NormalizeKeyPath(std::wstring keyPath);

// Text up to the first NUL, or the whole data when it holds none; an odd last byte is ignored.
std::wstring DecodeRegString(const std::vector<uint8_t>& data);
// Exactly 4 bytes, little-endian; any other size is unreadable (false, `out` unchanged).
bool DecodeRegDword(const std::vector<uint8_t>& data, int32_t& out);
// The text's UTF-16 units and one NUL unit, little-endian.
std::vector<uint8_t> EncodeRegString(const std::wstring& text);
std::vector<uint8_t> EncodeRegDword(int32_t value);

// 0 on success, -1 on failure; outputs are left unchanged on failure.
int ReadRegString(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name, std::wstring& out);
int ReadRegDword(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name, int32_t& out);
int WriteRegString(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name,
                   const std::wstring& text);
int WriteRegDword(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name, int32_t value);

// "SOFTWARE\Quarnstead\VYL\" followed by the section name.
std::wstring SettingsKeyPath(const std::wstring& section);
bool WriteSettingString(RegistryBackend& reg, const std::wstring& section, const std::wstring& name,
                        const std::wstring& text);
bool WriteSettingDword(RegistryBackend& reg, const std::wstring& section, const std::wstring& name, int32_t value);

// Fills `settings` value by value; a value that cannot be read gets its default, which
// is written back at once. A value that can be read is taken exactly as stored.
void LoadSettings(RegistryBackend& reg, const std::wstring& section, BackupSettings& settings);
// Writes all four values in order; a failed write does not stop the ones after it.
void SaveSettings(RegistryBackend& reg, const std::wstring& section, const BackupSettings& settings);

// Reads the four housekeeping values. A value that is missing, not a 4-byte REG_DWORD,
// negative, or (for the two switches) neither 0 nor 1 counts as off; nothing is written back.
void LoadHousekeeping(RegistryBackend& reg, const std::wstring& section, HousekeepingSettings& settings);
// Writes, in order, only the housekeeping values that differ between `loaded` and `chosen`,
// so that a value the user never changed stays out of the registry.
void SaveHousekeepingChanges(RegistryBackend& reg, const std::wstring& section, const HousekeepingSettings& loaded,
                             const HousekeepingSettings& chosen);
