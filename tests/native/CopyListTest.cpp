#include <gtest/gtest.h>

#include <set>

#include "MemoryJournal.h"
#include "backup/CopyList.h"

namespace {

const std::wstring kDrawing = L"C:\\work\\plan.dwg";
const std::wstring kOther = L"D:\\archive\\plan.dwg";
const CivilStamp kNow{2026, 12, 9, 14, 30};

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// A copy found by its name, stamped `minutesBeforeNow` before 14:30 (negative: later).
BackupCopy Copy(const std::wstring& name, int minutesBeforeNow, uint64_t size, uint64_t index) {
    BackupCopy c;
    c.folder = L"C:\\Backup";
    c.path = c.folder + L"\\" + name;
    c.minutes = StampMinutes(kNow) - minutesBeforeNow;
    c.stamp = StampFromMinutes(c.minutes);
    c.size = size;
    c.writeTime = 1000 + index;
    c.id = FileIdentity{7, index};
    return c;
}

// A made line for `c` as the plug-in writes it, from `drawing`, with `digest` (0: not read).
JournalRecord MadeFor(const BackupCopy& c, const std::wstring& drawing, uint64_t digest) {
    JournalRecord r;
    r.path = c.path;
    r.drawing = drawing;
    r.stamp = c.stamp;
    r.size = c.size;
    r.writeTime = c.writeTime;
    r.id = c.id;
    r.hasDigest = digest != 0;
    r.digest = FileDigest{digest, digest};
    return r;
}

std::string Lines(const std::vector<JournalRecord>& records) {
    std::string text;
    for (const JournalRecord& r : records) {
        std::string line;
        EXPECT_TRUE(FormatJournalLine(r, line));
        text += line;
    }
    return text;
}

// A journal read from `bytes`, as the copy list reads the file.
struct ReadJournal {
    explicit ReadJournal(const std::string& bytes) {
        store.File().exists = true;
        store.File().bytes = bytes;
        EXPECT_TRUE(journal.Refresh());
    }
    MemoryJournalStore store;
    Journal journal{store, AsciiFoldedOrder, AsciiFold};
};

std::vector<std::wstring> States(const std::vector<CopyRow>& rows) {
    std::vector<std::wstring> out;
    for (const CopyRow& r : rows) out.push_back(r.copy.path.substr(10) + L" " + CopyStateText(r.state));
    return out;
}

TEST(CopyListTest, StateIsTheFirstThatApplies) {
    enum Line {
        NoLine,
        Made,
        Adopted,
        FromOther,
        MadeOtherSize,
        MadeOtherTime,
        MadeOtherFile,
        MadeCaseOfDrawing,
        Gone
    };
    // The row under test lies between a newer copy and an older one, both made from the drawing
    // with digest 5 and 4 bytes long; `digest` is the one journaled for the row (0: none).
    const struct {
        const char* what;
        int minutesBeforeNow;
        uint64_t size;
        bool journal;
        Line line;
        uint64_t digest;
        const wchar_t* state;  // null: not listed
    } cases[] = {
        {"future, empty, from another drawing", -1, 0, true, FromOther, 5, L"미래 날짜"},
        {"future, unknown", -1, 4, true, NoLine, 0, L"미래 날짜"},
        {"future, equal to the older one", -1, 4, true, Made, 5, L"미래 날짜"},
        {"this minute is not the future", 0, 4, true, Made, 9, L""},
        {"empty, from another drawing", 10, 0, true, FromOther, 5, L"빈 사본"},
        {"empty, unknown", 10, 0, true, NoLine, 0, L"빈 사본"},
        {"empty, no journal", 10, 0, false, NoLine, 0, L"빈 사본"},
        {"from another drawing, equal to the older one", 10, 4, true, FromOther, 5, L"다른 도면"},
        {"unknown", 10, 4, true, NoLine, 0, L"기록 없음"},
        {"journaled with another size", 10, 4, true, MadeOtherSize, 5, L"기록 없음"},
        {"journaled with another write time", 10, 4, true, MadeOtherTime, 5, L"기록 없음"},
        {"journaled as another file", 10, 4, true, MadeOtherFile, 5, L"기록 없음"},
        {"no journal", 10, 4, false, NoLine, 0, L""},
        {"registered by the user", 10, 4, true, Adopted, 0, L""},
        {"equal to the older one", 10, 4, true, Made, 5, L"이전 사본과 같음"},
        {"drawing path in other letter case", 10, 4, true, MadeCaseOfDrawing, 5, L"이전 사본과 같음"},
        {"another digest", 10, 4, true, Made, 6, L""},
        {"no digest", 10, 4, true, Made, 0, L""},
        {"gone", 10, 4, true, Gone, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const BackupCopy newer = Copy(L"plan_202612091429.dwg", -5, 4, 1);
        const BackupCopy row = Copy(L"2026\\12\\09\\plan_x.dwg", c.minutesBeforeNow, c.size, 2);
        const BackupCopy older = Copy(L"plan_202612090800.dwg", 390, 4, 3);
        std::vector<JournalRecord> lines = {MadeFor(newer, kDrawing, 5), MadeFor(older, kDrawing, 5)};
        JournalRecord r = MadeFor(row, kDrawing, c.digest);
        switch (c.line) {
        case NoLine:
            break;
        case Made:
            lines.push_back(r);
            break;
        case Adopted:
            r.kind = JournalRecord::Kind::Adopted;
            lines.push_back(r);
            break;
        case FromOther:
            r.drawing = kOther;
            lines.push_back(r);
            break;
        case MadeOtherSize:
            r.size = 5;
            lines.push_back(r);
            break;
        case MadeOtherTime:
            r.writeTime = 1;
            lines.push_back(r);
            break;
        case MadeOtherFile:
            r.id.index = 99;
            lines.push_back(r);
            break;
        case MadeCaseOfDrawing:
            r.drawing = L"c:\\WORK\\Plan.DWG";
            lines.push_back(r);
            break;
        case Gone:
            lines.push_back(r);
            r.kind = JournalRecord::Kind::Gone;
            lines.push_back(r);
            break;
        }
        ReadJournal read(Lines(lines));
        Journal& journal = read.journal;
        const std::vector<CopyRow> rows = CopyListRows({older, row, newer}, c.journal ? &journal : nullptr, kDrawing,
                                                       StampMinutes(kNow), AsciiFoldedOrder);
        const CopyRow* found = nullptr;
        for (const CopyRow& shown : rows)
            if (shown.copy.path == row.path) found = &shown;
        if (!c.state) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(std::wstring(CopyStateText(found->state)), c.state);
    }
}

// "이전 사본과 같음" looks at the next older row of the same drawing path that has a digest, and at no other.
TEST(CopyListTest, SameAsOlderComparesWithTheNextOlderRowOfTheDrawingThatHasADigest) {
    struct Older {
        const wchar_t* drawing;  // null: not journaled
        uint64_t digest;
        uint64_t size;
    };
    const struct {
        const char* what;
        std::vector<Older> older;  // newest first, all older than the row
        bool same;
    } cases[] = {
        {"the next older one is equal", {{kDrawing.c_str(), 5, 4}}, true},
        {"only the next one counts", {{kDrawing.c_str(), 6, 4}, {kDrawing.c_str(), 5, 4}}, false},
        {"one without a digest is passed over", {{kDrawing.c_str(), 0, 4}, {kDrawing.c_str(), 5, 4}}, true},
        {"an unknown one is passed over", {{nullptr, 0, 4}, {kDrawing.c_str(), 5, 4}}, true},
        {"another drawing's is passed over", {{kOther.c_str(), 5, 4}, {kDrawing.c_str(), 6, 4}}, false},
        {"equal digest, other size", {{kDrawing.c_str(), 5, 8}}, false},
        {"no older one has a digest", {{kDrawing.c_str(), 0, 4}, {kOther.c_str(), 5, 4}}, false},
        {"no older one", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A newer copy equal to the row does not count: only older ones do.
        const BackupCopy newer = Copy(L"plan_202612091400.dwg", 30, 4, 1);
        const BackupCopy row = Copy(L"plan_202612091300.dwg", 90, 4, 2);
        std::vector<BackupCopy> copies = {newer, row};
        std::vector<JournalRecord> lines = {MadeFor(newer, kDrawing, 5), MadeFor(row, kDrawing, 5)};
        for (std::size_t i = 0; i < c.older.size(); ++i) {
            const int hour = 12 - static_cast<int>(i);
            BackupCopy o = Copy(L"plan_20261209" + std::to_wstring(hour) + L"00.dwg", 150 + 60 * static_cast<int>(i),
                                c.older[i].size, 10 + i);
            copies.push_back(o);
            if (c.older[i].drawing) lines.push_back(MadeFor(o, c.older[i].drawing, c.older[i].digest));
        }
        ReadJournal read(Lines(lines));
        Journal& journal = read.journal;
        const std::vector<CopyRow> rows =
            CopyListRows(copies, &journal, kDrawing, StampMinutes(kNow), AsciiFoldedOrder);
        ASSERT_EQ(rows.size(), copies.size());
        ASSERT_EQ(rows[1].copy.path, row.path);
        EXPECT_EQ(rows[1].state, c.same ? CopyState::SameAsOlder : CopyState::None);
    }
}

TEST(CopyListTest, RowsAreNewestFirstThenByPathAndGoneCopiesAreLeftOut) {
    const std::vector<BackupCopy> copies = {
        Copy(L"2026\\12\\09\\plan_1000.dwg", 270, 4, 1), Copy(L"plan_202612091000.dwg", 270, 4, 2),
        Copy(L"2026\\12\\09\\plan_1200.dwg", 150, 4, 3), Copy(L"2026\\12\\08\\plan_1300.dwg", 1530, 4, 4),
        Copy(L"202612\\09\\plan_1000.dwg", 270, 4, 5),   Copy(L"2026\\12\\09\\plan_1100.dwg", 210, 4, 6),
    };
    std::vector<JournalRecord> lines;
    for (const BackupCopy& c : copies) lines.push_back(MadeFor(c, kDrawing, 0));
    JournalRecord gone;
    gone.kind = JournalRecord::Kind::Gone;
    gone.path = L"C:\\BACKUP\\2026\\12\\09\\PLAN_1100.DWG";  // as Windows compares names
    lines.push_back(gone);
    ReadJournal read(Lines(lines));
    Journal& journal = read.journal;
    EXPECT_EQ(States(CopyListRows(copies, &journal, kDrawing, StampMinutes(kNow), AsciiFoldedOrder)),
              (std::vector<std::wstring>{L"2026\\12\\09\\plan_1200.dwg ", L"202612\\09\\plan_1000.dwg ",
                                         L"2026\\12\\09\\plan_1000.dwg ", L"plan_202612091000.dwg ",
                                         L"2026\\12\\08\\plan_1300.dwg "}));
    // Without a journal nothing is left out.
    EXPECT_EQ(CopyListRows(copies, nullptr, kDrawing, StampMinutes(kNow), AsciiFoldedOrder).size(), 6u);
}

TEST(CopyListTest, TheLatestLineForAPathCounts) {
    const BackupCopy a = Copy(L"plan_202612091000.dwg", 270, 4, 1);
    JournalRecord made = MadeFor(a, kDrawing, 0);
    JournalRecord gone;
    gone.kind = JournalRecord::Kind::Gone;
    gone.path = L"c:\\backup\\PLAN_202612091000.dwg";
    JournalRecord again = made;
    again.size = 9;
    const struct {
        const char* what;
        std::string bytes;
        int kind;  // -1: none; else the JournalRecord::Kind found
        uint64_t size;
    } cases[] = {
        {"made", Lines({made}), 0, 4},
        {"made, then gone", Lines({made, gone}), 2, 0},
        {"gone, then made again", Lines({made, gone, again}), 0, 9},
        {"no line", "", -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReadJournal read(c.bytes);
        Journal& journal = read.journal;
        const JournalRecord* r = journal.Latest(a.path);
        if (c.kind < 0) {
            EXPECT_EQ(r, nullptr);
            continue;
        }
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(static_cast<int>(r->kind), c.kind);
        if (r->Live()) {
            EXPECT_EQ(r->size, c.size);
        }
    }
}

TEST(CopyListTest, BesideTheOriginalNameTakesTheNextFreeNumber) {
    const CivilStamp stamp{2026, 12, 9, 14, 30};
    const struct {
        const char* what;
        std::wstring drawing;
        CivilStamp stamp;
        std::set<std::wstring> taken;
        std::wstring expected;
        std::size_t asked;
    } cases[] = {
        {"plain", L"D:\\A\\평면도.dwg", stamp, {}, L"D:\\A\\평면도 (백업 2026-12-09 1430).dwg", 1},
        {"dots in the base", L"D:\\A\\plan.rev2.dwg", stamp, {}, L"D:\\A\\plan.rev2 (백업 2026-12-09 1430).dwg", 1},
        {"fields padded",
         L"D:\\A\\plan.dwg",
         CivilStamp{2027, 1, 2, 3, 4},
         {},
         L"D:\\A\\plan (백업 2027-01-02 0304).dwg",
         1},
        {"forward slashes",
         L"//server/share/plan.dwg",
         stamp,
         {},
         L"//server/share/plan (백업 2026-12-09 1430).dwg",
         1},
        {"no extension: as a backup run names it",
         L"D:\\A\\plan",
         stamp,
         {},
         L"D:\\A\\plan (백업 2026-12-09 1430).plan",
         1},
        {"the plain name taken",
         L"D:\\A\\plan.dwg",
         stamp,
         {L"D:\\A\\plan (백업 2026-12-09 1430).dwg"},
         L"D:\\A\\plan (백업 2026-12-09 1430) (2).dwg",
         2},
        {"two taken",
         L"D:\\A\\plan.dwg",
         stamp,
         {L"D:\\A\\plan (백업 2026-12-09 1430).dwg", L"D:\\A\\plan (백업 2026-12-09 1430) (2).dwg"},
         L"D:\\A\\plan (백업 2026-12-09 1430) (3).dwg",
         3},
        {"a gap is filled",
         L"D:\\A\\plan.dwg",
         stamp,
         {L"D:\\A\\plan (백업 2026-12-09 1430).dwg", L"D:\\A\\plan (백업 2026-12-09 1430) (3).dwg"},
         L"D:\\A\\plan (백업 2026-12-09 1430) (2).dwg",
         2},
        {"no folder", L"plan.dwg", stamp, {}, L"", 0},
        {"no base name", L"D:\\A\\...", stamp, {}, L"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> asked;
        const std::wstring got = BesideOriginalPath(c.drawing, c.stamp, [&](const std::wstring& path) {
            asked.push_back(path);
            return c.taken.count(path) > 0;
        });
        EXPECT_EQ(got, c.expected) << Narrow(got);
        EXPECT_EQ(asked.size(), c.asked);
        for (const std::wstring& path : asked) EXPECT_NE(path, c.drawing);
    }
}

TEST(CopyListTest, BesideTheOriginalGivesUpAfterTheLastNumber) {
    std::vector<std::wstring> asked;
    const std::wstring got =
        BesideOriginalPath(L"D:\\A\\plan.dwg", CivilStamp{2026, 12, 9, 14, 30}, [&](const std::wstring& path) {
            asked.push_back(path);
            return true;
        });
    EXPECT_EQ(got, L"");
    ASSERT_EQ(asked.size(), 999u);
    EXPECT_EQ(asked.back(), L"D:\\A\\plan (백업 2026-12-09 1430) (999).dwg");
}

}  // namespace
