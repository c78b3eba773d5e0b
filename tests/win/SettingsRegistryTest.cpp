// The settings store against Wine's real registry, in a test section of its own.
#include <gtest/gtest.h>

#include "WinTestUtil.h"
#include "settings/RegistryWin32.h"

namespace {

const std::wstring kSection = L"VarnholtStoreTest";
const std::wstring kKey = L"SOFTWARE\\Quarnstead\\VYL\\" + kSection;

struct RawValue {
    DWORD type = 0;
    std::vector<uint8_t> data;
    bool present = false;
};

RawValue Raw(const std::wstring& name) {
    RawValue v;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        RegQueryValueExW(key, name.c_str(), nullptr, &v.type, v.data.data(), &size);
        v.present = true;
    }
    RegCloseKey(key);
    return v;
}

void PutRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

class SettingsRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()), RegDeleteKeyW(HKEY_CURRENT_USER, kKey.c_str());
    }
    void TearDown() override { SetUp(); }
};

TEST_F(SettingsRegistryTest, FirstLoadLeavesAllFourDefaultsWithTheirTypesAndSizes) {
    BackupSettings s;
    LoadSettings(kSection, s);
    EXPECT_EQ(s.mIsAutoBackup, 0);
    EXPECT_EQ(s.mTime, 30);
    EXPECT_EQ(s.mFolder, L"C:\\");
    EXPECT_EQ(s.mMainItemNo, 1);

    const RawValue flag = Raw(L"mIsAutoBackup"), time = Raw(L"mTime"), folder = Raw(L"mFolder"),
                   item = Raw(L"mMainItemNo");
    EXPECT_EQ(flag.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(flag.data, (std::vector<uint8_t>{'0', 0, 0, 0}));
    EXPECT_EQ(time.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(time.data, (std::vector<uint8_t>{30, 0, 0, 0}));
    EXPECT_EQ(folder.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(folder.data, (std::vector<uint8_t>{'C', 0, ':', 0, '\\', 0, 0, 0}));
    EXPECT_EQ(item.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(item.data, (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST_F(SettingsRegistryTest, SaveAndLoadRoundTripLongAndKoreanFolders) {
    for (const std::wstring& folder : {std::wstring(L"C:\\백업 폴더\\도면"), std::wstring(259, L'f'), std::wstring()}) {
        SaveSettings(kSection, BackupSettings{5, -5, folder, 4});
        BackupSettings s;
        LoadSettings(kSection, s);
        EXPECT_EQ(s.mIsAutoBackup, 1);
        EXPECT_EQ(s.mTime, -5);
        EXPECT_EQ(s.mFolder, folder);
        EXPECT_EQ(s.mMainItemNo, 4);
        EXPECT_EQ(Raw(L"mFolder").data.size(), (folder.size() + 1) * 2);
        EXPECT_EQ(Raw(L"mIsAutoBackup").data, (std::vector<uint8_t>{'1', 0, 0, 0}));
    }
}

TEST_F(SettingsRegistryTest, OneMebibyteTextIsReadWhole) {
    std::wstring big(512 * 1024, L'a');
    for (std::size_t i = 0; i < big.size(); i += 97) big[i] = static_cast<wchar_t>(L'가' + i % 1000);
    ASSERT_EQ(WriteRegString(kKey, L"big", big), 0);
    std::wstring out;
    ASSERT_EQ(ReadRegString(kKey, L"big", out), 0);
    EXPECT_EQ(out, big);
}

TEST_F(SettingsRegistryTest, ForwardSlashesReachTheSameKey) {
    std::wstring slashed = kKey;
    for (auto& c : slashed)
        if (c == L'\\') c = L'/';
    ASSERT_EQ(WriteRegDword(slashed, L"n", 42), 0);
    int32_t n = 0;
    ASSERT_EQ(ReadRegDword(kKey, L"n", n), 0);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(Raw(L"n").type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(SettingsRegistryTest, WrongTypesAreReadByTheirBytes) {
    PutRaw(L"mTime", REG_SZ, L"30", 6);
    const DWORD one = 1;
    PutRaw(L"mIsAutoBackup", REG_DWORD, &one, 4);
    const DWORD nine = 9;
    PutRaw(L"mMainItemNo", REG_BINARY, &nine, 4);
    PutRaw(L"mFolder", REG_EXPAND_SZ, L"%TEMP%", 14);
    BackupSettings s;
    LoadSettings(kSection, s);
    EXPECT_EQ(s.mTime, 30);
    EXPECT_EQ(Raw(L"mTime").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(s.mIsAutoBackup, 0);
    EXPECT_EQ(Raw(L"mIsAutoBackup").type, static_cast<DWORD>(REG_DWORD));  // readable, so kept
    EXPECT_EQ(s.mMainItemNo, 9);
    EXPECT_EQ(Raw(L"mMainItemNo").type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(s.mFolder, L"%TEMP%");  // taken as stored, not expanded
}

TEST_F(SettingsRegistryTest, FailuresReturnMinusOneAndLeaveOutputs) {
    std::wstring text = L"keep";
    int32_t number = 7;
    EXPECT_EQ(ReadRegString(kKey, L"mFolder", text), -1);  // no key
    EXPECT_EQ(ReadRegDword(kKey, L"mTime", number), -1);
    ASSERT_EQ(WriteRegString(kKey, L"other", L"x"), 0);
    EXPECT_EQ(ReadRegString(kKey, L"mFolder", text), -1);  // no value
    EXPECT_EQ(text, L"keep");
    EXPECT_EQ(number, 7);
    // A value name beyond the registry's limit cannot be written.
    const std::wstring hugeName(40000, L'n');
    EXPECT_EQ(WriteRegString(kKey, hugeName, L"x"), -1);
    EXPECT_FALSE(WriteSettingDword(kSection, hugeName, 1));
    EXPECT_TRUE(WriteSettingDword(kSection, L"fine", 1));
}

TEST_F(SettingsRegistryTest, NoKeyHandleIsLeftOpen) {
    BackupSettings s;
    LoadSettings(kSection, s);  // first call creates the key and warms up
    const uintptr_t before = HandleProbe();
    for (int i = 0; i < 300; ++i) {
        LoadSettings(kSection, s);
        SaveSettings(kSection, s);
        std::wstring text;
        int32_t n;
        ReadRegString(kKey, L"absent", text);
        ReadRegDword(kKey, L"mFolder", n);  // wrong size
        ReadRegString(kKey + L"\\none", L"x", text);
    }
    EXPECT_EQ(HandleProbe(), before);
}

// What the store writes survives a restart: the key is not volatile. The two halves run as two
// processes with the Wine server restarted between them, which reloads the registry from the
// prefix's files (see the build's list of Windows tests); the normal run leaves them out.
const std::wstring kRestartSection = L"VarnholtRestartTest";
const std::wstring kRestartKey = L"SOFTWARE\\Quarnstead\\VYL\\" + kRestartSection;

TEST(RegistryRestart, WriteBeforeRestart) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kRestartKey.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kRestartKey.c_str());
    BackupSettings s;
    LoadSettings(kRestartSection, s);  // the store creates the key
    SaveSettings(kRestartSection, BackupSettings{1, 45, L"D:\\백업", 3});
    SaveHousekeepingChanges(kRestartSection, HousekeepingSettings{}, HousekeepingSettings{1, 7, 0, 0, 0});
    HousekeepingSettings h;
    LoadHousekeeping(kRestartSection, h);
    EXPECT_EQ(h, (HousekeepingSettings{1, 7, 0, 0, 0}));
}

TEST(RegistryRestart, ReadAfterRestart) {
    BackupSettings s{7, 7, L"stale", 7};
    LoadSettings(kRestartSection, s);
    HousekeepingSettings h;
    LoadHousekeeping(kRestartSection, h);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRestartKey.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kRestartKey.c_str());
    EXPECT_EQ(s.mIsAutoBackup, 1);
    EXPECT_EQ(s.mTime, 45);
    EXPECT_EQ(s.mFolder, L"D:\\백업");
    EXPECT_EQ(s.mMainItemNo, 3);
    EXPECT_EQ(h, (HousekeepingSettings{1, 7, 0, 0, 0}));
}

}  // namespace
