#include <gtest/gtest.h>

#include "backup/BackupPath.h"

namespace {

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

DateStamp Stamp(int year, int month, int day, int hour, int minute) {
    DateStamp s;
    const std::tm t = LocalTime(year, month, day, hour, minute, 42);
    FormatDateStamp(s, &t);
    return s;
}

std::wstring Compose(const std::wstring& folder, const std::wstring& drawing, int pattern, const DateStamp& stamp) {
    std::wstring target = L"<unchanged>";
    ComposeTargetPath(folder, drawing, pattern, stamp, target);
    return target;
}

TEST(DateStampTest, FormatsZeroFilledFields) {
    const DateStamp s = Stamp(2024, 3, 7, 9, 5);
    EXPECT_EQ(s.mYear, L"2024");
    EXPECT_EQ(s.mMonth, L"03");
    EXPECT_EQ(s.mDay, L"07");
    EXPECT_EQ(s.mHour, L"09");
    EXPECT_EQ(s.mMinute, L"05");
    EXPECT_EQ(s.mSecond, L"42");
}

TEST(DateStampTest, FailedConversionGivesFallbackAndItsPath) {
    DateStamp s;
    FormatDateStamp(s, nullptr);
    EXPECT_EQ(s.mYear, L"0000");
    EXPECT_EQ(s.mMonth, L"00");
    EXPECT_EQ(s.mDay, L"00");
    EXPECT_EQ(s.mHour, L"-1");
    EXPECT_EQ(s.mMinute, L"-1");
    EXPECT_EQ(s.mSecond, L"-1");
    EXPECT_EQ(Compose(L"F:\\b", L"D:\\w\\plan.dwg", 1, s), L"F:\\b\\0000\\00\\00\\plan_-1-1.dwg");
}

TEST(DateStampTest, PaddedFormattingMatchesPrintf) {
    const struct {
        int value, width;
        const wchar_t* text;
    } cases[] = {
        {0, 4, L"0000"},
        {7, 2, L"07"},
        {12345, 4, L"12345"},
        {-1, 2, L"-1"},
        {-5, 4, L"-005"},
        {2147483647, 2, L"2147483647"},
        {-2147483647 - 1, 2, L"-2147483648"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatPadded(c.value, c.width), c.text) << c.value;
}

TEST(SplitStringTest, DropsEmptyPiecesAndReplacesOutput) {
    const struct {
        const wchar_t* delimiter;
        const wchar_t* source;
        std::vector<std::wstring> pieces;
    } cases[] = {
        {L".", L"a..b.c", {L"a", L"b", L"c"}},
        {L".", L".dwg", {L"dwg"}},
        {L".", L"plan.", {L"plan"}},
        {L".", L"", {}},
        {L".", L"...", {}},
        {L"::", L"a::b:::c::", {L"a", L"b", L":c"}},
        {L"ab", L"aab", {L"a"}},
        {L"", L"abc", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> out{L"stale"};
        EXPECT_EQ(SplitString(c.delimiter, c.source, out), static_cast<int>(c.pieces.size())) << c.source;
        EXPECT_EQ(out, c.pieces) << c.source;
    }
}

TEST(FileNameTest, SplitsBaseAndExtension) {
    const struct {
        const wchar_t* name;
        bool ok;
        const wchar_t* base;
        const wchar_t* ext;
    } cases[] = {
        {L"plan.dwg", true, L"plan", L"dwg"},
        {L"plan.rev2.dwg", true, L"plan.rev2", L"dwg"},
        {L"plan..rev2.dwg", true, L"plan.rev2", L"dwg"},
        {L".dwg", true, L"dwg", L"dwg"},
        {L"plan.", true, L"plan", L"plan"},
        {L"plan", true, L"plan", L"plan"},
        {L"", false, L"-", L"-"},
        {L"...", false, L"-", L"-"},
    };
    for (const auto& c : cases) {
        std::wstring base = L"-", ext = L"-";
        EXPECT_EQ(SplitFileName(c.name, base, ext), c.ok) << c.name;
        EXPECT_EQ(base, c.base) << c.name;
        EXPECT_EQ(ext, c.ext) << c.name;
    }
}

TEST(FileNameTest, TakesTextAfterLastBackslashOrSlash) {
    EXPECT_EQ(FileNameOf(L"D:\\work\\plan.dwg"), L"plan.dwg");
    EXPECT_EQ(FileNameOf(L"D:/work/plan.dwg"), L"plan.dwg");
    EXPECT_EQ(FileNameOf(L"D:\\work/sub\\plan.dwg"), L"plan.dwg");
    EXPECT_EQ(FileNameOf(L"plan.dwg"), L"plan.dwg");
    EXPECT_EQ(FileNameOf(L"D:\\work\\"), L"");
}

TEST(ComposeTest, FourPatternsOnAMorning) {
    const DateStamp s = Stamp(2024, 3, 7, 9, 5);
    const wchar_t* expected[] = {
        L"C:\\Backup\\2024\\03\\07\\plan_0905.dwg",
        L"C:\\Backup\\202403\\07\\plan_0905.dwg",
        L"C:\\Backup\\2024\\0307\\plan_0905.dwg",
        L"C:\\Backup\\plan_202403070905.dwg",
    };
    for (int pattern = 1; pattern <= 4; ++pattern)
        EXPECT_EQ(Compose(L"C:\\Backup", L"D:\\work\\plan.dwg", pattern, s), expected[pattern - 1]) << pattern;
}

TEST(ComposeTest, FourPatternsAtMidnightAfternoonAndTheLastMinuteOfTheYear) {
    // Hours are named on the 24-hour clock.
    const struct {
        DateStamp stamp;
        const wchar_t* expected[4];
    } cases[] = {
        {Stamp(2024, 1, 1, 0, 0),
         {L"E:\\B\\2024\\01\\01\\plan_0000.dwg", L"E:\\B\\202401\\01\\plan_0000.dwg",
          L"E:\\B\\2024\\0101\\plan_0000.dwg", L"E:\\B\\plan_202401010000.dwg"}},
        {Stamp(2024, 12, 31, 13, 7),
         {L"E:\\B\\2024\\12\\31\\plan_1307.dwg", L"E:\\B\\202412\\31\\plan_1307.dwg",
          L"E:\\B\\2024\\1231\\plan_1307.dwg", L"E:\\B\\plan_202412311307.dwg"}},
        {Stamp(2024, 12, 31, 23, 59),
         {L"E:\\B\\2024\\12\\31\\plan_2359.dwg", L"E:\\B\\202412\\31\\plan_2359.dwg",
          L"E:\\B\\2024\\1231\\plan_2359.dwg", L"E:\\B\\plan_202412312359.dwg"}},
    };
    for (const auto& c : cases)
        for (int pattern = 1; pattern <= 4; ++pattern)
            EXPECT_EQ(Compose(L"E:\\B", L"D:\\work\\plan.dwg", pattern, c.stamp), c.expected[pattern - 1]) << pattern;
}

TEST(ComposeTest, FolderAndFileNameVariants) {
    const DateStamp s = Stamp(2024, 3, 7, 9, 5);
    const struct {
        const wchar_t* folder;
        const wchar_t* drawing;
        const wchar_t* target;
    } cases[] = {
        {L"C:\\Backup\\", L"D:\\work\\plan.dwg", L"C:\\Backup\\2024\\03\\07\\plan_0905.dwg"},
        {L"C:\\Backup\\\\\\", L"D:\\work\\plan.dwg", L"C:\\Backup\\2024\\03\\07\\plan_0905.dwg"},
        {L"C:\\", L"D:\\work\\plan.dwg", L"C:\\2024\\03\\07\\plan_0905.dwg"},
        {L"", L"D:\\work\\plan.dwg", L"\\2024\\03\\07\\plan_0905.dwg"},
        {L"\\", L"D:\\work\\plan.dwg", L"\\2024\\03\\07\\plan_0905.dwg"},
        {L"C:\\Back up \\/", L"D:\\work\\plan.dwg", L"C:\\Back up \\/\\2024\\03\\07\\plan_0905.dwg"},
        {L"C:\\Backup", L"D:\\work\\plan.rev2.dwg", L"C:\\Backup\\2024\\03\\07\\plan.rev2_0905.dwg"},
        {L"C:\\Backup", L"D:\\work\\plan..rev2.dwg", L"C:\\Backup\\2024\\03\\07\\plan.rev2_0905.dwg"},
        {L"C:\\Backup", L"D:\\work\\plan", L"C:\\Backup\\2024\\03\\07\\plan_0905.plan"},
        {L"C:\\Backup", L"D:\\work\\.dwg", L"C:\\Backup\\2024\\03\\07\\dwg_0905.dwg"},
        // A drawing path with forward slashes yields the same file name as with backslashes.
        {L"C:\\Backup", L"D:/work/plan.dwg", L"C:\\Backup\\2024\\03\\07\\plan_0905.dwg"},
        {L"C:\\백업", L"D:\\작업\\도면.dwg", L"C:\\백업\\2024\\03\\07\\도면_0905.dwg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Compose(c.folder, c.drawing, 1, s), c.target) << c.folder << L" " << c.drawing;
}

TEST(ComposeTest, NothingComposedWithoutFileNameOrPattern) {
    const DateStamp s = Stamp(2024, 3, 7, 9, 5);
    const struct {
        const wchar_t* drawing;
        int pattern;
        ComposeResult result;
    } cases[] = {
        {L"D:\\work\\", 1, ComposeResult::NoFileName},         {L"D:\\work\\...", 1, ComposeResult::NoFileName},
        {L"D:/work/", 4, ComposeResult::NoFileName},           {L"", 1, ComposeResult::NoFileName},
        {L"D:\\work\\plan.dwg", 0, ComposeResult::NoPattern},  {L"D:\\work\\plan.dwg", 5, ComposeResult::NoPattern},
        {L"D:\\work\\plan.dwg", -1, ComposeResult::NoPattern}, {L"D:\\work\\...", 9, ComposeResult::NoFileName},
    };
    for (const auto& c : cases) {
        std::wstring target = L"<unchanged>";
        EXPECT_EQ(ComposeTargetPath(L"C:\\Backup", c.drawing, c.pattern, s, target), c.result) << c.drawing;
        EXPECT_EQ(target, L"<unchanged>");
    }
}

TEST(DirectoryChainTest, AttemptsEveryFolderButNeverTheFileName) {
    const struct {
        const wchar_t* target;
        std::vector<std::wstring> attempts;
    } cases[] = {
        {L"C:\\Backup\\2024\\03\\07\\plan_0905.dwg",
         {L"C:", L"C:/Backup", L"C:/Backup/2024", L"C:/Backup/2024/03", L"C:/Backup/2024/03/07"}},
        // Folders whose names hold a dot are created like any other.
        {L"D:\\Data.old\\Backup\\2024\\0307\\plan_0905.dwg",
         {L"D:", L"D:/Data.old", L"D:/Data.old/Backup", L"D:/Data.old/Backup/2024", L"D:/Data.old/Backup/2024/0307"}},
        {L"C:\\plan_202403070905.dwg", {L"C:"}},
        {L"\\2024\\plan_0905.dwg", {L"", L"/2024"}},
        {L"\\\\srv\\share\\plan_0905.dwg", {L"", L"/", L"//srv", L"//srv/share"}},
        {L"C:\\a\\\\b\\x_1.d", {L"C:", L"C:/a", L"C:/a/", L"C:/a//b"}},
        {L"plan_0905", {}},
        {L"C:\\Backup\\plan.rev2_0905.dwg", {L"C:", L"C:/Backup"}},
    };
    for (const auto& c : cases) EXPECT_EQ(PlanDirectoryChain(c.target), c.attempts) << c.target;
}

TEST(ComposeTest, LongAndHostileInputStaysInsideTheFolder) {
    const DateStamp s = Stamp(2024, 3, 7, 9, 5);
    const std::wstring longName(32760, L'a');
    std::wstring target;
    ASSERT_EQ(ComposeTargetPath(L"C:\\B", L"D:\\" + longName + L".dwg", 4, s, target), ComposeResult::Ok);
    EXPECT_EQ(target, L"C:\\B\\" + longName + L"_202403070905.dwg");

    // A file name cannot carry a separator or a bare "..", so the copy never leaves the folder.
    for (const wchar_t* drawing : {L"D:\\..", L"D:\\work\\..\\..\\x.dwg", L"..\\..\\", L"a/../../b.dwg"}) {
        std::wstring t;
        if (ComposeTargetPath(L"C:\\B", drawing, 1, s, t) != ComposeResult::Ok) continue;
        EXPECT_EQ(t.rfind(L"C:\\B\\2024\\03\\07\\", 0), 0u) << drawing;
        EXPECT_EQ(t.find(L"..\\"), std::wstring::npos) << t;
    }
}

}  // namespace
