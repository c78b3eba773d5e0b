#include <gtest/gtest.h>

#include <random>

#include "backup/BackupPath.h"
#include "backup/CopyName.h"

namespace {

const std::wstring F = L"C:\\Backup";

std::string Utf8Of(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

struct Parsed {
    bool ok;
    int layout;
    const wchar_t* stamp;
    const wchar_t* base;
    const wchar_t* ext;
};

Parsed Parse(const std::wstring& path) {
    ParsedCopy p;
    if (!ParseCopyPathBelow(F, path, p)) return {false, 0, L"", L"", L""};
    static std::wstring stamp, base, ext;
    stamp = FormatStamp(p.stamp);
    base = p.base;
    ext = p.ext;
    return {true, static_cast<int>(p.layout), stamp.c_str(), base.c_str(), ext.c_str()};
}

TEST(CopyNameTest, AcceptsExactlyTheFourLayouts) {
    const struct {
        const wchar_t* rel;
        int layout;
        const wchar_t* stamp;
        const wchar_t* base;
        const wchar_t* ext;
    } cases[] = {
        {L"2024\\03\\07\\plan_0905.dwg", 1, L"2024-03-07 09:05", L"plan", L"dwg"},
        {L"202403\\07\\plan_0905.dwg", 2, L"2024-03-07 09:05", L"plan", L"dwg"},
        {L"2024\\0307\\plan_0905.dwg", 3, L"2024-03-07 09:05", L"plan", L"dwg"},
        {L"plan_202403070905.dwg", 4, L"2024-03-07 09:05", L"plan", L"dwg"},
        {L"2024\\12\\31\\plan_2359.dwg", 1, L"2024-12-31 23:59", L"plan", L"dwg"},
        {L"2024\\02\\29\\plan_0000.dwg", 1, L"2024-02-29 00:00", L"plan", L"dwg"},
        {L"2000\\0229\\plan_1307.dwg", 3, L"2000-02-29 13:07", L"plan", L"dwg"},
        {L"plan.rev2_202401010000.dwg", 4, L"2024-01-01 00:00", L"plan.rev2", L"dwg"},
        {L"plan_1430_202401010000.dwg", 4, L"2024-01-01 00:00", L"plan_1430", L"dwg"},
        {L"2024\\03\\07\\plan_0905.plan", 1, L"2024-03-07 09:05", L"plan", L"plan"},  // drawing without extension
        {L"2024\\03\\07\\도면 1_0905.dwg", 1, L"2024-03-07 09:05", L"도면 1", L"dwg"},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(F + L"\\" + c.rel);
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.layout, c.layout);
        EXPECT_STREQ(p.stamp, c.stamp);
        EXPECT_STREQ(p.base, c.base);
        EXPECT_STREQ(p.ext, c.ext);
    }
    const wchar_t* decoys[] = {
        L"2024\\03\\07\\plan_1430.dwg.bak",
        L"2024\\13\\07\\plan_0905.dwg",  // month 13
        // Folder 00 is no date, in any layout.
        L"2024\\00\\07\\plan_0905.dwg",
        L"2024\\03\\00\\plan_0905.dwg",
        L"202400\\07\\plan_0905.dwg",
        L"202403\\00\\plan_0905.dwg",
        L"2024\\0007\\plan_0905.dwg",
        L"2024\\0300\\plan_0905.dwg",
        L"plan_202400070905.dwg",
        L"plan_202403000905.dwg",
        // Names Windows cannot give a file.
        L"2024\\03\\07\\pla:n_0905.dwg",
        L"2024\\03\\07\\plan_0905.dw?",
        L"2024\\03\\07\\plan_0905.dwg ",
        L"2024\\03\\07\\pl\nan_0905.dwg",
        L"pl\x01an_202403070905.dwg",
        L"pl|an_202403070905.dwg",
        L"2023\\02\\29\\plan_0905.dwg",  // not a leap year
        L"1900\\0229\\plan_0905.dwg",    // not a leap year either
        L"2024\\04\\31\\plan_0905.dwg",  // April has 30 days
        L"2024\\03\\07\\plan_2400.dwg",  // hour 24
        L"2024\\03\\07\\plan_0960.dwg",  // minute 60
        L"0000\\00\\00\\plan_-1-1.dwg",  // the stamp of a failed clock reading
        L"0000\\01\\01\\plan_0905.dwg",  // year 0
        L"2024\\3\\07\\plan_0905.dwg",   // width
        L"2024\\03\\7\\plan_0905.dwg",
        L"2024\\03\\07\\plan_905.dwg",
        L"2024\\03\\07\\plan_09050.dwg",
        L"20240\\03\\07\\plan_0905.dwg",
        L"2024\\03\\07\\plan_０９05.dwg",  // full-width digits
        L"2024\\03\\07\\plan-0905.dwg",
        L"2024\\03\\07\\_0905.dwg",       // no base name
        L"2024\\03\\07\\.plan_0905.dwg",  // a base name a run cannot produce
        L"2024\\03\\07\\plan._0905.dwg",
        L"2024\\03\\07\\pl..an_0905.dwg",
        L"2024\\03\\07\\plan_0905.",  // no extension
        L"2024\\03\\07\\plan_0905",
        L"2024\\03\\07\\plan_202403070905.dwg",  // a flat name in a day folder
        L"plan_0905.dwg",                        // a day-folder name in the backup folder
        L"plan_202413070905.dwg",
        L"2024\\03\\plan_0905.dwg",          // a folder short
        L"2024\\03\\07\\08\\plan_0905.dwg",  // a folder too many
        L"202403\\0307\\plan_0905.dwg",
        L"2024\\030\\07\\plan_0905.dwg",
    };
    for (const wchar_t* rel : decoys) EXPECT_FALSE(Parse(F + L"\\" + rel).ok) << Utf8Of(rel);
    EXPECT_FALSE(Parse(L"C:\\Other\\plan_202403070905.dwg").ok);    // not below the folder
    EXPECT_FALSE(Parse(L"C:\\Backup2\\plan_202403070905.dwg").ok);  // a longer name is not below it
}

// Whatever a backup run names, the grammar reads back: layout, stamp, base and extension.
TEST(CopyNameTest, EveryComposedTargetParsesBack) {
    std::mt19937 rng(7);
    const std::wstring drawings[][3] = {{L"D:\\w\\plan.dwg", L"plan", L"dwg"},
                                        {L"D:\\w\\plan..rev2.dwg", L"plan.rev2", L"dwg"},
                                        {L"D:\\w\\도면", L"도면", L"도면"},
                                        {L"D:\\w\\a_1430.dxf", L"a_1430", L"dxf"}};
    for (int i = 0; i < 2000; ++i) {
        const CivilStamp s = StampFromMinutes(static_cast<int64_t>(rng() % 60000000) - 20000000);
        ASSERT_TRUE(IsRealStamp(s));
        std::tm t{};
        t.tm_year = s.year - 1900;
        t.tm_mon = s.month - 1;
        t.tm_mday = s.day;
        t.tm_hour = s.hour;
        t.tm_min = s.minute;
        DateStamp stamp;
        FormatDateStamp(stamp, &t);
        const auto& d = drawings[i % 4];
        const int pattern = 1 + i % 4;
        std::wstring target;
        ASSERT_EQ(ComposeTargetPath(F + L"\\\\", d[0], pattern, stamp, target), ComposeResult::Ok);
        ParsedCopy p;
        ASSERT_TRUE(ParseCopyPathBelow(F, target, p)) << target.size();
        EXPECT_EQ(static_cast<int>(p.layout), pattern);
        EXPECT_EQ(p.stamp, s);
        EXPECT_EQ(p.base, d[1]);
        EXPECT_EQ(p.ext, d[2]);
        CivilStamp again;
        ASSERT_TRUE(StampOfDateStamp(stamp, again));
        EXPECT_EQ(again, s);
    }
    DateStamp failed;
    FormatDateStamp(failed, nullptr);
    CivilStamp none;
    EXPECT_FALSE(StampOfDateStamp(failed, none));
}

TEST(CopyNameTest, MinutesDaysAndMondayWeeks) {
    const CivilStamp epoch{1970, 1, 1, 0, 0};
    EXPECT_EQ(StampMinutes(epoch), 0);
    EXPECT_EQ(StampMinutes(CivilStamp{1969, 12, 31, 23, 59}), -1);
    EXPECT_EQ(StampMinutes(CivilStamp{2024, 3, 1, 0, 0}) - StampMinutes(CivilStamp{2024, 2, 28, 0, 0}),
              2 * kMinutesPerDay);
    EXPECT_EQ(StampMinutes(CivilStamp{2023, 3, 1, 0, 0}) - StampMinutes(CivilStamp{2023, 2, 28, 0, 0}), kMinutesPerDay);
    for (int64_t m : {int64_t{0}, int64_t{-1}, int64_t{-1440}, int64_t{28000000}, int64_t{-1000000000}})
        EXPECT_EQ(StampMinutes(StampFromMinutes(m)), m);
    // 2026-12-07 is a Monday: the week runs to Sunday 12-13 23:59.
    const int64_t monday = StampMinutes(CivilStamp{2026, 12, 7, 0, 0});
    EXPECT_EQ(WeekNumber(monday), WeekNumber(StampMinutes(CivilStamp{2026, 12, 13, 23, 59})));
    EXPECT_EQ(WeekNumber(monday) - 1, WeekNumber(monday - 1));
    EXPECT_EQ(DayNumber(monday) - 1, DayNumber(monday - 1));
    EXPECT_EQ(WeekNumber(StampMinutes(CivilStamp{1969, 12, 29, 0, 0})), 0);  // a Monday before the epoch
    EXPECT_EQ(WeekNumber(StampMinutes(CivilStamp{1969, 12, 28, 23, 59})), -1);
    EXPECT_EQ(FormatStamp(CivilStamp{2026, 12, 9, 14, 30}), L"2026-12-09 14:30");
}

TEST(CopyNameTest, DrawingKeysCompareWithoutLetterCase) {
    DrawingKey a, b, c;
    ASSERT_TRUE(DrawingKeyOfPath(L"D:\\work\\Plan.DWG", a));
    ASSERT_TRUE(DrawingKeyOfPath(L"E:/other/plan.dwg", b));
    ASSERT_TRUE(DrawingKeyOfPath(L"D:\\work\\plan.dxf", c));
    EXPECT_TRUE(SameDrawing(a, b, AsciiFoldedOrder));
    EXPECT_FALSE(SameDrawing(a, c, AsciiFoldedOrder));
    EXPECT_EQ(a.base, L"Plan");
    EXPECT_FALSE(SameDrawing(MakeDrawingKey(L"a.b", L"c"), MakeDrawingKey(L"a", L"b.c"), AsciiFoldedOrder));
    // Where no system comparison is at hand only ASCII letters fold: other letters stay apart,
    // so that no two names Windows keeps apart are ever merged.
    const struct {
        const wchar_t *a, *b;
        int order;
    } orders[] = {
        {L"plan", L"PLAN", 0},
        {L"Plan_0900", L"pLAN_0900", 0},
        {L"\u00e9", L"\u00c9", 1},
        {L"c\u0131ty", L"c\u0130ty", 1},
        {L"plan", L"plan2", -1},
        {L"[", L"a", 1},  // folded to upper case, as Windows does: 0x5B after 0x41
        {L"", L"", 0},
    };
    for (const auto& o : orders) {
        EXPECT_EQ(AsciiFoldedOrder(o.a, o.b), o.order) << o.a << " " << o.b;
        EXPECT_EQ(AsciiFoldedOrder(o.b, o.a), -o.order) << o.b << " " << o.a;
    }
    DrawingKey none;
    EXPECT_FALSE(DrawingKeyOfPath(L"D:\\work\\...", none));
}

}  // namespace
