#include <gtest/gtest.h>

#include "MemoryRegistry.h"

namespace {

const std::wstring kKey = L"SOFTWARE\\Quarnstead\\VYL\\Varnholt";

std::vector<uint8_t> Bytes(std::initializer_list<int> b) { return std::vector<uint8_t>(b.begin(), b.end()); }

class SettingsStoreTest : public ::testing::Test {
protected:
    void Put(const std::wstring& name, uint32_t type, std::vector<uint8_t> data) {
        reg.values[{kKey, name}] = {type, data};
    }
    const StoredValue* Get(const std::wstring& name) {
        auto it = reg.values.find({kKey, name});
        return it == reg.values.end() ? nullptr : &it->second;
    }
    BackupSettings Load() {
        BackupSettings s{7, 7, L"stale", 7};
        reg.log.clear();
        LoadSettings(reg, L"Varnholt", s);
        return s;
    }
    void PutAllValid() {
        Put(L"mIsAutoBackup", kRegSz, EncodeRegString(L"1"));
        Put(L"mTime", kRegDword, EncodeRegDword(15));
        Put(L"mFolder", kRegSz, EncodeRegString(L"D:\\B"));
        Put(L"mMainItemNo", kRegDword, EncodeRegDword(3));
    }
    MemoryRegistry reg;
};

TEST_F(SettingsStoreTest, FirstLoadWritesEachDefaultRightAfterItsRead) {
    const BackupSettings s = Load();
    EXPECT_EQ(s.mIsAutoBackup, 0);
    EXPECT_EQ(s.mTime, 30);
    EXPECT_EQ(s.mFolder, L"C:\\");
    EXPECT_EQ(s.mMainItemNo, 1);
    EXPECT_EQ(reg.log, (std::vector<std::wstring>{L"read mIsAutoBackup", L"write mIsAutoBackup", L"read mTime",
                                                  L"write mTime", L"read mFolder", L"write mFolder",
                                                  L"read mMainItemNo", L"write mMainItemNo"}));
    EXPECT_EQ(*Get(L"mIsAutoBackup"), (StoredValue{kRegSz, Bytes({'0', 0, 0, 0})}));
    EXPECT_EQ(*Get(L"mTime"), (StoredValue{kRegDword, Bytes({30, 0, 0, 0})}));
    EXPECT_EQ(*Get(L"mFolder"), (StoredValue{kRegSz, Bytes({'C', 0, ':', 0, '\\', 0, 0, 0})}));
    EXPECT_EQ(*Get(L"mMainItemNo"), (StoredValue{kRegDword, Bytes({1, 0, 0, 0})}));
}

TEST_F(SettingsStoreTest, ValidValuesAreTakenAsStoredAndNotRewritten) {
    PutAllValid();
    const BackupSettings s = Load();
    EXPECT_EQ(s.mIsAutoBackup, 1);
    EXPECT_EQ(s.mTime, 15);
    EXPECT_EQ(s.mFolder, L"D:\\B");
    EXPECT_EQ(s.mMainItemNo, 3);
    EXPECT_EQ(reg.log,
              (std::vector<std::wstring>{L"read mIsAutoBackup", L"read mTime", L"read mFolder", L"read mMainItemNo"}));
}

TEST_F(SettingsStoreTest, OnlyTheExactTextOneTurnsAutoBackupOn) {
    const struct {
        std::vector<uint8_t> data;
        uint32_t type;
        int expected;
    } cases[] = {
        {EncodeRegString(L"1"), kRegSz, 1},
        {Bytes({'1', 0}), kRegSz, 1},                // no terminating NUL
        {Bytes({'1', 0, 0}), kRegSz, 1},             // odd trailing byte
        {Bytes({'1', 0, 0, 0, 'x', 0}), kRegSz, 1},  // text ends at the first NUL
        {EncodeRegString(L"0"), kRegSz, 0},
        {EncodeRegString(L""), kRegSz, 0},
        {Bytes({}), kRegSz, 0},
        {EncodeRegString(L"01"), kRegSz, 0},
        {EncodeRegString(L" 1"), kRegSz, 0},
        {EncodeRegString(L"1 "), kRegSz, 0},
        {EncodeRegString(L"true"), kRegSz, 0},
        {EncodeRegDword(1), kRegDword, 0},     // bytes spell U+0001
        {EncodeRegDword(0x31), kRegDword, 1},  // bytes spell "1"
    };
    for (const auto& c : cases) {
        reg.values.clear();
        Put(L"mIsAutoBackup", c.type, c.data);
        EXPECT_EQ(Load().mIsAutoBackup, c.expected) << ::testing::PrintToString(c.data);
        EXPECT_EQ(Get(L"mIsAutoBackup")->data, c.data);  // never rewritten once readable
    }
}

TEST_F(SettingsStoreTest, FoldersOfAnyLengthAreReadBackWhole) {
    for (const std::wstring& folder : {std::wstring(), std::wstring(126, L'x'), std::wstring(127, L'y'),
                                       std::wstring(300, L'z'), std::wstring(L"C:\\백업\\도면")}) {
        reg.values.clear();
        Put(L"mFolder", kRegSz, EncodeRegString(folder));
        EXPECT_EQ(Load().mFolder, folder);
        EXPECT_EQ(Get(L"mFolder")->data, EncodeRegString(folder));
    }
}

TEST_F(SettingsStoreTest, IntegersOfAnyOtherSizeGetTheDefaultWrittenBack) {
    const std::vector<uint8_t> unreadable[] = {
        EncodeRegString(L"30"),         Bytes({}), Bytes({5}), Bytes({5, 0}), Bytes({5, 0, 0}), Bytes({5, 0, 0, 0, 0}),
        Bytes({1, 0, 0, 0, 0, 0, 0, 0})};
    for (const auto& data : unreadable) {
        reg.values.clear();
        Put(L"mTime", kRegSz, data);
        Put(L"mMainItemNo", kRegSz, data);
        const BackupSettings s = Load();
        EXPECT_EQ(s.mTime, 30);
        EXPECT_EQ(s.mMainItemNo, 1);
        EXPECT_EQ(*Get(L"mTime"), (StoredValue{kRegDword, EncodeRegDword(30)}));
        EXPECT_EQ(*Get(L"mMainItemNo"), (StoredValue{kRegDword, EncodeRegDword(1)}));
    }
}

TEST_F(SettingsStoreTest, OutOfRangeIntegersLoadUnchanged) {
    for (int32_t value : {0, 9, -5, 5, 2147483647, -2147483647 - 1}) {
        reg.values.clear();
        Put(L"mTime", kRegSz, EncodeRegDword(value));  // the stored type is ignored
        Put(L"mMainItemNo", kRegDword, EncodeRegDword(value));
        const BackupSettings s = Load();
        EXPECT_EQ(s.mTime, value);
        EXPECT_EQ(s.mMainItemNo, value);
        EXPECT_EQ(Get(L"mMainItemNo")->data, EncodeRegDword(value));
        EXPECT_EQ(Get(L"mTime")->type, kRegSz);
    }
}

TEST_F(SettingsStoreTest, FailedWriteBackStillLoadsDefaultsAndGoesOn) {
    reg.failingWrites = {L"mIsAutoBackup", L"mTime", L"mFolder", L"mMainItemNo"};
    const BackupSettings s = Load();
    EXPECT_EQ(s.mIsAutoBackup, 0);
    EXPECT_EQ(s.mTime, 30);
    EXPECT_EQ(s.mFolder, L"C:\\");
    EXPECT_EQ(s.mMainItemNo, 1);
    EXPECT_EQ(reg.log.size(), 8u);
    EXPECT_TRUE(reg.values.empty());
}

TEST_F(SettingsStoreTest, SaveWritesAllFourInOrderAndPastFailures) {
    reg.failingWrites = {L"mIsAutoBackup", L"mFolder"};
    SaveSettings(reg, L"Varnholt", BackupSettings{-7, -5, L"E:\\폴더", 9});
    EXPECT_EQ(reg.log, (std::vector<std::wstring>{L"write mIsAutoBackup", L"write mTime", L"write mFolder",
                                                  L"write mMainItemNo"}));
    EXPECT_EQ(*Get(L"mTime"), (StoredValue{kRegDword, EncodeRegDword(-5)}));
    EXPECT_EQ(*Get(L"mMainItemNo"), (StoredValue{kRegDword, EncodeRegDword(9)}));

    reg.failingWrites.clear();
    for (int32_t flag : {1, -7, 2}) {
        SaveSettings(reg, L"Varnholt", BackupSettings{flag, 1, L"", 1});
        EXPECT_EQ(*Get(L"mIsAutoBackup"), (StoredValue{kRegSz, EncodeRegString(L"1")}));
    }
    SaveSettings(reg, L"Varnholt", BackupSettings{0, 1, L"", 1});
    EXPECT_EQ(*Get(L"mIsAutoBackup"), (StoredValue{kRegSz, EncodeRegString(L"0")}));
    EXPECT_EQ(*Get(L"mFolder"), (StoredValue{kRegSz, Bytes({0, 0})}));
}

TEST_F(SettingsStoreTest, SaveThenLoadRoundTrips) {
    const BackupSettings saved{1, 45, std::wstring(259, L'p'), 4};
    SaveSettings(reg, L"Varnholt", saved);
    const BackupSettings s = Load();
    EXPECT_EQ(s.mIsAutoBackup, 1);
    EXPECT_EQ(s.mTime, 45);
    EXPECT_EQ(s.mFolder, saved.mFolder);
    EXPECT_EQ(s.mMainItemNo, 4);
}

TEST_F(SettingsStoreTest, KeyPathSlashesAndSectionName) {
    EXPECT_EQ(SettingsKeyPath(L"Varnholt"), kKey);
    EXPECT_EQ(WriteRegString(reg, L"SOFTWARE/Quarnstead/VYL/Varnholt", L"v", L"x"), 0);
    std::wstring out;
    EXPECT_EQ(ReadRegString(reg, kKey, L"v", out), 0);
    EXPECT_EQ(out, L"x");
    EXPECT_EQ(WriteRegDword(reg, kKey, L"d", 4), 0);
    int32_t d = 0;
    EXPECT_EQ(ReadRegDword(reg, L"SOFTWARE/Quarnstead\\VYL/Varnholt", L"d", d), 0);
    EXPECT_EQ(d, 4);
}

TEST_F(SettingsStoreTest, FailuresReturnMinusOneAndLeaveOutputs) {
    std::wstring text = L"keep";
    int32_t number = 77;
    EXPECT_EQ(ReadRegString(reg, kKey, L"missing", text), -1);
    EXPECT_EQ(ReadRegDword(reg, kKey, L"missing", number), -1);
    Put(L"short", kRegDword, Bytes({1, 2}));
    EXPECT_EQ(ReadRegDword(reg, kKey, L"short", number), -1);
    EXPECT_EQ(text, L"keep");
    EXPECT_EQ(number, 77);
    reg.failingWrites = {L"w"};
    EXPECT_EQ(WriteRegString(reg, kKey, L"w", L"x"), -1);
    EXPECT_EQ(WriteRegDword(reg, kKey, L"w", 1), -1);
    EXPECT_FALSE(WriteSettingString(reg, L"Varnholt", L"w", L"x"));
    EXPECT_FALSE(WriteSettingDword(reg, L"Varnholt", L"w", 1));
    EXPECT_TRUE(WriteSettingDword(reg, L"Varnholt", L"ok", 1));
}

// Every combination of presence, stored type and size for each of the four values:
// a value that is readable for its field is never replaced; any other gets its default.
TEST_F(SettingsStoreTest, MalformedStatesNeverReplaceAReadableValue) {
    const wchar_t* names[] = {L"mIsAutoBackup", L"mTime", L"mFolder", L"mMainItemNo"};
    const uint32_t types[] = {0 /*REG_NONE*/,   kRegSz,    2 /*REG_EXPAND_SZ*/,
                              3 /*REG_BINARY*/, kRegDword, 11 /*REG_QWORD*/};
    const std::size_t sizes[] = {0, 1, 2, 3, 4, 5, 8, 254, 255, 256, 600};
    int states = 0;
    for (const wchar_t* name : names) {
        const bool isText = name == names[0] || name == names[2];
        for (int present = 0; present < 2; ++present) {
            for (uint32_t type :
                 present ? std::vector<uint32_t>(std::begin(types), std::end(types)) : std::vector<uint32_t>{0}) {
                for (std::size_t size : present ? std::vector<std::size_t>(std::begin(sizes), std::end(sizes))
                                                : std::vector<std::size_t>{0}) {
                    ++states;
                    reg.values.clear();
                    PutAllValid();
                    std::vector<uint8_t> data(size);
                    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>('0' + (i * 7 + size) % 40);
                    if (present)
                        Put(name, type, data);
                    else
                        reg.values.erase({kKey, name});
                    const BackupSettings s = Load();
                    const bool readable = present && (isText || size == 4);
                    SCOPED_TRACE(::testing::Message() << "value " << states << " size " << size << " type " << type);
                    if (readable)
                        EXPECT_EQ(*Get(name), (StoredValue{type, data}));
                    else
                        EXPECT_NE(*Get(name), (StoredValue{type, data}));
                    // The other three values are untouched whatever this one holds.
                    EXPECT_EQ(s.mIsAutoBackup, name == names[0] ? s.mIsAutoBackup : 1);
                    EXPECT_EQ(s.mTime, name == names[1] ? s.mTime : 15);
                    EXPECT_EQ(s.mFolder, name == names[2] ? s.mFolder : L"D:\\B");
                    EXPECT_EQ(s.mMainItemNo, name == names[3] ? s.mMainItemNo : 3);
                    if (name == names[2] && readable) {
                        EXPECT_EQ(s.mFolder, DecodeRegString(data));
                    }
                }
            }
        }
    }
    EXPECT_EQ(states, 4 * (1 + 6 * 11));
}

TEST_F(SettingsStoreTest, HousekeepingValuesAreTakenOnlyWhenUsableAndNeverWrittenBack) {
    const struct {
        const wchar_t* name;
        uint32_t type;
        std::vector<uint8_t> data;
        int32_t loaded;  // what the field gets
    } cases[] = {
        {L"mSkipIdentical", kRegDword, EncodeRegDword(1), 1},
        {L"mSkipIdentical", kRegDword, EncodeRegDword(2), 0},
        {L"mSkipIdentical", kRegSz, EncodeRegString(L"1"), 0},
        {L"mSkipIdentical", 3 /*REG_BINARY*/, EncodeRegDword(1), 0},
        {L"mThinOut", kRegDword, EncodeRegDword(1), 1},
        {L"mThinOut", kRegDword, EncodeRegDword(-1), 0},
        {L"mKeepCount", kRegDword, EncodeRegDword(2147483647), 2147483647},
        {L"mKeepCount", kRegDword, EncodeRegDword(-5), 0},
        {L"mKeepCount", kRegDword, Bytes({7, 0, 0}), 0},
        {L"mKeepCount", kRegDword, Bytes({7, 0, 0, 0, 0}), 0},
        {L"mKeepDays", kRegDword, EncodeRegDword(30), 30},
        {L"mKeepDays", 11 /*REG_QWORD*/, Bytes({30, 0, 0, 0, 0, 0, 0, 0}), 0},
        {L"mQuietFailures", kRegDword, EncodeRegDword(1), 1},
        {L"mQuietFailures", kRegDword, EncodeRegDword(2), 0},
        {L"mRecoveryNotice", kRegDword, EncodeRegDword(1), 1},
        {L"mRecoveryNotice", kRegSz, EncodeRegString(L"1"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        reg.values.clear();
        Put(c.name, c.type, c.data);
        reg.log.clear();
        HousekeepingSettings h{9, 9, 9, 9, 9, 9};
        LoadHousekeeping(reg, L"Varnholt", h);
        const std::wstring name = c.name;
        EXPECT_EQ(h.mSkipIdentical, name == L"mSkipIdentical" ? c.loaded : 0);
        EXPECT_EQ(h.mKeepCount, name == L"mKeepCount" ? c.loaded : 0);
        EXPECT_EQ(h.mKeepDays, name == L"mKeepDays" ? c.loaded : 0);
        EXPECT_EQ(h.mThinOut, name == L"mThinOut" ? c.loaded : 0);
        EXPECT_EQ(h.mQuietFailures, name == L"mQuietFailures" ? c.loaded : 0);
        EXPECT_EQ(h.mRecoveryNotice, name == L"mRecoveryNotice" ? c.loaded : 0);
        EXPECT_EQ(reg.log,
                  (std::vector<std::wstring>{L"read mSkipIdentical", L"read mKeepCount", L"read mKeepDays",
                                             L"read mThinOut", L"read mQuietFailures", L"read mRecoveryNotice"}));
        EXPECT_EQ(reg.values.size(), 1u);
        EXPECT_EQ(*Get(c.name), (StoredValue{c.type, c.data}));
    }
}

TEST_F(SettingsStoreTest, OnlyChangedHousekeepingValuesAreWritten) {
    const HousekeepingSettings loaded{0, 5, 0, 1};
    reg.log.clear();
    SaveHousekeepingChanges(reg, L"Varnholt", loaded, loaded);
    EXPECT_TRUE(reg.log.empty());
    SaveHousekeepingChanges(reg, L"Varnholt", loaded, HousekeepingSettings{1, 5, 30, 0, 1, 1});
    EXPECT_EQ(reg.log, (std::vector<std::wstring>{L"write mSkipIdentical", L"write mKeepDays", L"write mThinOut",
                                                  L"write mQuietFailures", L"write mRecoveryNotice"}));
    EXPECT_EQ(*Get(L"mQuietFailures"), (StoredValue{kRegDword, EncodeRegDword(1)}));
    EXPECT_EQ(*Get(L"mSkipIdentical"), (StoredValue{kRegDword, EncodeRegDword(1)}));
    EXPECT_EQ(*Get(L"mKeepDays"), (StoredValue{kRegDword, EncodeRegDword(30)}));
    EXPECT_EQ(*Get(L"mThinOut"), (StoredValue{kRegDword, EncodeRegDword(0)}));
    EXPECT_EQ(Get(L"mKeepCount"), nullptr);
}

}  // namespace
