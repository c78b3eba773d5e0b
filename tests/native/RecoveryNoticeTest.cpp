#include <gtest/gtest.h>

#include <map>
#include <set>

#include "MemoryJournal.h"
#include "backup/RecoveryNotice.h"

namespace {

constexpr uint64_t kMinute = 600000000;          // 100 ns units
constexpr uint64_t k1400 = 134093160000000000u;  // a write time; copies stamped later are written later

JournalRecord Copy(const std::wstring& path, const std::wstring& drawing, int hour, int minute, uint64_t size = 4096) {
    JournalRecord r;
    r.path = path;
    r.drawing = drawing;
    r.stamp = CivilStamp{2026, 12, 9, hour, minute};
    r.size = size;
    r.writeTime = k1400 + static_cast<uint64_t>((hour - 14) * 60 + minute) * kMinute;
    r.id = FileIdentity{1, 100u + static_cast<uint64_t>(hour * 60 + minute)};
    r.session = SessionId{7, 1};
    return r;
}

TEST(RecoveryNoticeTest, EachDrawingGetsItsNewestGoodCopyUnlessTheUserSavedLater) {
    MemoryJournalStore store;
    Journal journal(store, AsciiFoldedOrder, AsciiFold);
    const std::wstring a = L"D:\\A\\평면도.dwg", b = L"D:\\B\\평면도.dwg", c = L"D:\\C\\c.dwg", d = L"D:\\D\\d.dwg",
                       e = L"D:\\E\\e.dwg", f = L"D:\\F\\f.dwg";
    JournalRecord gone;
    gone.kind = JournalRecord::Kind::Gone;
    gone.path = L"C:\\Backup\\e_1450.dwg";
    ASSERT_TRUE(journal.Write({
        Copy(L"C:\\Backup\\평면도_1400.dwg", a, 14, 0), Copy(L"C:\\Backup\\평면도_1430.dwg", a, 14, 30),
        Copy(L"C:\\Backup\\평면도_1440.dwg", a, 14, 40),      // zero-filled now: not good
        Copy(L"C:\\Backup2\\평면도_1430.dwg", b, 14, 30, 0),  // empty: b has none
        Copy(L"C:\\Backup\\c_1430.dwg", c, 14, 30),           // c saved after it
        Copy(L"C:\\Backup\\d_1430.dwg", d, 14, 30),           // d is missing
        Copy(L"C:\\Backup\\e_1440.dwg", e, 14, 40), Copy(L"C:\\Backup\\e_1450.dwg", e, 14, 50), gone,
        Copy(L"C:\\Backup\\f_1430.dwg", f, 14, 30), Copy(L"C:\\Backup\\f_202612091430.dwg", f, 14, 30),  // equal stamps
        // Lines that name no copy of their drawing (edited by hand, with good checksums): never named.
        Copy(c, c, 14, 50),                          // the drawing itself
        Copy(L"C:\\Backup\\x_1450.dwg", c, 14, 50),  // another drawing's copy
    }));
    const std::set<std::wstring> bad{L"C:\\Backup\\평면도_1440.dwg"};
    const std::map<std::wstring, DrawingNow> drawings{
        {a, {DrawingNow::State::There, k1400 - 10 * kMinute - 1}},  // 40 minutes and a bit before a_1430: 40
        {c, {DrawingNow::State::There, k1400 + 31 * kMinute}},
        {d, {DrawingNow::State::Missing, 0}},
        {e, {DrawingNow::State::There, k1400 + 40 * kMinute}},  // written as the copy was: still named
        {f, {DrawingNow::State::Unknown, 0}},
    };
    const std::vector<Journal::EndedSession> ended{{SessionId{7, 1}, {a, b, c, d}},
                                                   {SessionId{8, 1}, {L"d:\\a\\평면도.DWG", e, f}}};
    std::vector<std::wstring> checked;
    const std::vector<RecoveryItem> items = PlanRecoveryNotice(
        journal, ended,
        [&](const JournalRecord& r) {
            checked.push_back(r.path);
            return bad.count(r.path) == 0;
        },
        [&](const std::wstring& path) { return drawings.at(path); }, AsciiFoldedOrder);
    std::vector<std::pair<std::wstring, std::wstring>> named;
    for (const RecoveryItem& i : items) named.emplace_back(i.drawing, i.copy.path);
    EXPECT_EQ(named, (std::vector<std::pair<std::wstring, std::wstring>>{{a, L"C:\\Backup\\평면도_1430.dwg"},
                                                                         {d, L"C:\\Backup\\d_1430.dwg"},
                                                                         {e, L"C:\\Backup\\e_1440.dwg"},
                                                                         {f, L"C:\\Backup\\f_202612091430.dwg"}}));
    // Newest first, until one is good; an empty copy is not looked at.
    EXPECT_EQ(checked, (std::vector<std::wstring>{L"C:\\Backup\\평면도_1440.dwg", L"C:\\Backup\\평면도_1430.dwg",
                                                  L"C:\\Backup\\c_1430.dwg", L"C:\\Backup\\d_1430.dwg",
                                                  L"C:\\Backup\\e_1440.dwg", L"C:\\Backup\\f_202612091430.dwg"}));

    const RecoveryTexts texts = RecoveryNoticeTexts(items, 3);
    EXPECT_EQ(texts.box,
              L"CAD가 지난번에 비정상 종료되었습니다. 최근 백업 사본:\r\n"
              L"D:\\A\\평면도.dwg → C:\\Backup\\평면도_1430.dwg (2026-12-09 14:30, 원본보다 40분 뒤)\r\n"
              L"D:\\D\\d.dwg → C:\\Backup\\d_1430.dwg (2026-12-09 14:30, 원본 없음)\r\n"
              L"D:\\E\\e.dwg → C:\\Backup\\e_1440.dwg (2026-12-09 14:40, 원본보다 0분 뒤)\r\n"
              L"외 1개\r\n"
              L"설정 → 백업 관리 → 사본 목록에서 원본 옆에 복사할 수 있습니다.");
    ASSERT_EQ(texts.lines.size(), 4u);
    EXPECT_EQ(texts.lines[0], L"[복구] D:\\A\\평면도.dwg → C:\\Backup\\평면도_1430.dwg");
    EXPECT_EQ(texts.lines[3], L"[복구] D:\\F\\f.dwg → C:\\Backup\\f_202612091430.dwg");
    EXPECT_TRUE(RecoveryNoticeTexts({}).box.empty());
}

}  // namespace
