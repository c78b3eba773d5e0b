#include "SettingsStore.h"

#include <algorithm>

namespace {
const wchar_t kAutoBackup[] = L"mIsAutoBackup";
const wchar_t kTime[] = L"mTime";
const wchar_t kFolder[] = L"mFolder";
const wchar_t kMainItemNo[] = L"mMainItemNo";

const wchar_t kSkipIdentical[] = L"mSkipIdentical";
const wchar_t kKeepCount[] = L"mKeepCount";
const wchar_t kKeepDays[] = L"mKeepDays";
const wchar_t kThinOut[] = L"mThinOut";
const wchar_t kQuietFailures[] = L"mQuietFailures";
const wchar_t kRecoveryNotice[] = L"mRecoveryNotice";

constexpr int32_t kDefaultTime = 30;
const wchar_t kDefaultFolder[] = L"C:\\";
constexpr int32_t kDefaultMainItemNo = 1;

bool IsOne(const std::wstring& text) { return text == L"1"; }  // "1" has no case
}  // namespace

std::wstring NormalizeKeyPath(std::wstring keyPath) {
    std::replace(keyPath.begin(), keyPath.end(), L'/', L'\\');
    return keyPath;
}

std::wstring DecodeRegString(const std::vector<uint8_t>& data) {
    std::wstring text;
    text.reserve(data.size() / 2);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (unit == L'\0') break;
        text += unit;
    }
    return text;
}

bool DecodeRegDword(const std::vector<uint8_t>& data, int32_t& out) {
    if (data.size() != 4) return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                               static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24);
    return true;
}

std::vector<uint8_t> EncodeRegString(const std::wstring& text) {
    std::vector<uint8_t> data;
    data.reserve((text.size() + 1) * 2);
    for (wchar_t c : text) {
        const auto unit = static_cast<uint16_t>(static_cast<uint32_t>(c) & 0xFFFFu);
        data.push_back(static_cast<uint8_t>(unit & 0xFF));
        data.push_back(static_cast<uint8_t>(unit >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::vector<uint8_t> EncodeRegDword(int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

int ReadRegString(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name, std::wstring& out) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    if (reg.QueryValue(NormalizeKeyPath(keyPath), name, data, type) != 0) return -1;
    out = DecodeRegString(data);
    return 0;
}

int ReadRegDword(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name, int32_t& out) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    if (reg.QueryValue(NormalizeKeyPath(keyPath), name, data, type) != 0) return -1;
    return DecodeRegDword(data, out) ? 0 : -1;
}

int WriteRegString(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name,
                   const std::wstring& text) {
    return reg.SetValue(NormalizeKeyPath(keyPath), name, kRegSz, EncodeRegString(text)) == 0 ? 0 : -1;
}

int WriteRegDword(RegistryBackend& reg, const std::wstring& keyPath, const std::wstring& name, int32_t value) {
    return reg.SetValue(NormalizeKeyPath(keyPath), name, kRegDword, EncodeRegDword(value)) == 0 ? 0 : -1;
}

std::wstring SettingsKeyPath(const std::wstring& section) { return L"SOFTWARE\\Quarnstead\\VYL\\" + section; }

bool WriteSettingString(RegistryBackend& reg, const std::wstring& section, const std::wstring& name,
                        const std::wstring& text) {
    return WriteRegString(reg, SettingsKeyPath(section), name, text) == 0;
}

bool WriteSettingDword(RegistryBackend& reg, const std::wstring& section, const std::wstring& name, int32_t value) {
    return WriteRegDword(reg, SettingsKeyPath(section), name, value) == 0;
}

void LoadSettings(RegistryBackend& reg, const std::wstring& section, BackupSettings& settings) {
    std::wstring text;
    if (ReadRegString(reg, SettingsKeyPath(section), kAutoBackup, text) != 0) {
        text = L"0";
        WriteSettingString(reg, section, kAutoBackup, text);
    }
    settings.mIsAutoBackup = IsOne(text) ? 1 : 0;

    if (ReadRegDword(reg, SettingsKeyPath(section), kTime, settings.mTime) != 0) {
        settings.mTime = kDefaultTime;
        WriteSettingDword(reg, section, kTime, kDefaultTime);
    }

    text.clear();
    if (ReadRegString(reg, SettingsKeyPath(section), kFolder, text) != 0) {
        text = kDefaultFolder;
        WriteSettingString(reg, section, kFolder, text);
    }
    settings.mFolder = text;

    if (ReadRegDword(reg, SettingsKeyPath(section), kMainItemNo, settings.mMainItemNo) != 0) {
        settings.mMainItemNo = kDefaultMainItemNo;
        WriteSettingDword(reg, section, kMainItemNo, kDefaultMainItemNo);
    }
}

void SaveSettings(RegistryBackend& reg, const std::wstring& section, const BackupSettings& settings) {
    WriteSettingString(reg, section, kAutoBackup, settings.mIsAutoBackup != 0 ? L"1" : L"0");
    WriteRegDword(reg, SettingsKeyPath(section), kTime, settings.mTime);
    WriteSettingString(reg, section, kFolder, settings.mFolder);
    WriteRegDword(reg, SettingsKeyPath(section), kMainItemNo, settings.mMainItemNo);
}

namespace {
// A housekeeping value as stored, or 0 (off) when it is not a usable REG_DWORD.
int32_t ReadHousekeepingValue(RegistryBackend& reg, const std::wstring& keyPath, const wchar_t* name, int32_t largest) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    int32_t value = 0;
    if (reg.QueryValue(keyPath, name, data, type) != 0 || type != kRegDword || !DecodeRegDword(data, value) ||
        value < 0 || value > largest)
        return 0;
    return value;
}
}  // namespace

void LoadHousekeeping(RegistryBackend& reg, const std::wstring& section, HousekeepingSettings& settings) {
    const std::wstring key = NormalizeKeyPath(SettingsKeyPath(section));
    constexpr int32_t kAny = 0x7FFFFFFF;
    settings.mSkipIdentical = ReadHousekeepingValue(reg, key, kSkipIdentical, 1);
    settings.mKeepCount = ReadHousekeepingValue(reg, key, kKeepCount, kAny);
    settings.mKeepDays = ReadHousekeepingValue(reg, key, kKeepDays, kAny);
    settings.mThinOut = ReadHousekeepingValue(reg, key, kThinOut, 1);
    settings.mQuietFailures = ReadHousekeepingValue(reg, key, kQuietFailures, 1);
    settings.mRecoveryNotice = ReadHousekeepingValue(reg, key, kRecoveryNotice, 1);
}

void SaveHousekeepingChanges(RegistryBackend& reg, const std::wstring& section, const HousekeepingSettings& loaded,
                             const HousekeepingSettings& chosen) {
    const struct {
        const wchar_t* name;
        int32_t before, after;
    } values[] = {
        {kSkipIdentical, loaded.mSkipIdentical, chosen.mSkipIdentical},
        {kKeepCount, loaded.mKeepCount, chosen.mKeepCount},
        {kKeepDays, loaded.mKeepDays, chosen.mKeepDays},
        {kThinOut, loaded.mThinOut, chosen.mThinOut},
        {kQuietFailures, loaded.mQuietFailures, chosen.mQuietFailures},
        {kRecoveryNotice, loaded.mRecoveryNotice, chosen.mRecoveryNotice},
    };
    for (const auto& v : values)
        if (v.after != v.before) WriteSettingDword(reg, section, v.name, v.after);
}
