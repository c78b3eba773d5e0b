#include <gtest/gtest.h>

#include <cstring>

#include "MemoryJournal.h"
#include "MemoryTree.h"
#include "backup/BackupPath.h"
#include "backup/Housekeeper.h"

namespace {

const std::wstring kSetting = L"C:\\B\\";  // the folder as the user set it
const std::wstring F = L"C:\\B";
const std::wstring kDrawing = L"D:\\work\\plan.dwg";

CivilStamp At(int y, int mo, int d, int h, int mi) { return CivilStamp{y, mo, d, h, mi}; }

std::wstring Target(int pattern, const CivilStamp& s, const std::wstring& drawing = kDrawing,
                    const std::wstring& setting = kSetting) {
    std::tm t{};
    t.tm_year = s.year - 1900;
    t.tm_mon = s.month - 1;
    t.tm_mday = s.day;
    t.tm_hour = s.hour;
    t.tm_min = s.minute;
    DateStamp stamp;
    FormatDateStamp(stamp, &t);
    std::wstring target;
    ComposeTargetPath(setting, drawing, pattern, stamp, target);
    return target;
}

std::string Utf8Of(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

HousekeepingSettings Options(int skip, int count, int days, int thin) { return {skip, count, days, thin, 0}; }

// A tree with copies of plan.dwg in all four layouts and every kind of decoy.
void Seed(MemoryTree& tree) {
    tree.AddFolder(F);
    for (const wchar_t* rel : {
             L"2026\\11\\01\\plan_0800.dwg",  // layout 1
             L"2026\\11\\01\\PLAN_0900.DWG",  // letter case does not matter
             L"202611\\15\\plan_1000.dwg",    // layout 2
             L"2026\\1130\\plan_1100.dwg",    // layout 3
             L"plan_202612081200.dwg",        // layout 4
             L"2026\\12\\08\\plan_1300.dwg",
             // decoys
             L"2026\\12\\08\\other_1300.dwg",
             L"2026\\12\\08\\plan_1300.dwg.bak",
             L"2026\\12\\08\\plan_1300.dxf",
             L"2026\\13\\08\\plan_1300.dwg",
             L"0000\\00\\00\\plan_-1-1.dwg",
             L"old\\2026\\11\\01\\plan_0800.dwg",
             L"plan_0800.dwg",
             L"2026\\11\\01\\plan_202611010800.dwg",
         })
        tree.AddFile(F + L"\\" + rel);
    tree.AddFolder(F + L"\\plan_202611020800.dwg");        // a folder named like a copy
    tree.AddOther(F + L"\\plan_202611030800.dwg");         // a link named like a copy
    tree.AddFolder(F + L"\\2026\\12\\08\\plan_0930.dwg");  // the same in a day folder
    tree.AddOther(F + L"\\2026\\12\\08\\plan_0931.dwg");
    tree.AddOther(F + L"\\2025");                                 // a linked folder named like a year
    tree.AddFile(L"C:\\elsewhere\\2025\\01\\01\\plan_0800.dwg");  // where that link might lead
    tree.AddFolder(F + L"\\2026\\10\\31");                        // an empty day folder
}

TEST(ScanTest, FindsExactlyTheCopiesOfTheDrawing) {
    MemoryTree tree;
    Seed(tree);
    DrawingKey key;
    ASSERT_TRUE(DrawingKeyOfPath(L"E:\\x\\Plan.Dwg", key));
    ScanStats stats;
    std::vector<std::wstring> found;
    for (const BackupCopy& c : ScanCopies(tree, F, &key, &stats)) found.push_back(c.path.substr(F.size() + 1));
    EXPECT_EQ(found, (std::vector<std::wstring>{L"2026\\11\\01\\plan_0800.dwg", L"2026\\11\\01\\PLAN_0900.DWG",
                                                L"202611\\15\\plan_1000.dwg", L"2026\\1130\\plan_1100.dwg",
                                                L"plan_202612081200.dwg", L"2026\\12\\08\\plan_1300.dwg"}));
    EXPECT_EQ(stats.unlisted, 0u);
    // Only date folders were entered: not the linked one, nor anything outside the folder.
    EXPECT_EQ(tree.listed,
              (std::vector<std::wstring>{F, F + L"\\2026", F + L"\\2026\\10", F + L"\\2026\\10\\31", F + L"\\2026\\11",
                                         F + L"\\2026\\11\\01", F + L"\\2026\\1130", F + L"\\2026\\12",
                                         F + L"\\2026\\12\\08", F + L"\\202611", F + L"\\202611\\15"}));
    EXPECT_EQ(stats.folders, tree.listed.size());

    // All drawings: grouped by drawing, letter case aside.
    std::vector<std::wstring> drawings;
    const BackupCopy* last = nullptr;
    const std::vector<BackupCopy> all = ScanCopies(tree, F, nullptr);
    for (const BackupCopy& c : all) {
        if (!last || !SameDrawing(last->key, c.key, AsciiFoldedOrder))
            drawings.push_back(c.key.base + L"." + c.key.ext);
        last = &c;
    }
    EXPECT_EQ(drawings, (std::vector<std::wstring>{L"other.dwg", L"plan.dwg", L"plan.dxf"}));
}

// ---- the tick, over the journal -----------------------------------------------------

// An option on that deletes nothing here: the copies are journaled.
const HousekeepingSettings kJournalOnly = Options(0, 1000, 0, 0);

class TickTest : public ::testing::Test {
protected:
    // The host saved `drawing` to the target of `pattern` at `s`; housekeeping runs.
    TickReport Tick(int pattern, const CivilStamp& s, const HousekeepingSettings& options,
                    const std::string& bytes = "drawing", const std::wstring& drawing = kDrawing) {
        MadeCopy made{Target(pattern, s, drawing), static_cast<CopyLayout>(pattern), s, SessionId{}};
        tree.AddFile(made.path, bytes, ++clock);
        return HousekeepAfterSave(tree, journal, kSetting, drawing, made, options);
    }
    std::vector<std::wstring> Copies() {
        std::vector<std::wstring> out;
        for (const std::wstring& p : tree.Below(F))
            if (tree.nodes[F + L"\\" + p].kind == EntryKind::File) out.push_back(p);
        return out;
    }
    static std::wstring Rel(int pattern, const CivilStamp& s, const std::wstring& drawing = kDrawing) {
        return Target(pattern, s, drawing).substr(F.size() + 1);
    }
    void TearDown() override {
        EXPECT_EQ(tree.lists, 0) << "a tick listed a folder";
        EXPECT_FALSE(store.File().locked) << "a tick kept the journal's lock";
    }

    MemoryTree tree;
    MemoryJournalStore store;
    Journal journal{store, AsciiFoldedOrder, AsciiFold};
    uint64_t clock = 100;
};

TEST_F(TickTest, EveryOptionOffMakesNoCallAndWritesNoJournal) {
    tree.AddFolder(F);
    const TickReport r = Tick(1, At(2026, 12, 9, 9, 5), Options(0, 0, 0, 0));
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(tree.Calls(), 0);
    EXPECT_FALSE(store.File().exists);
}

// The notice after a crash alone keeps the journal: made lines, the copy not read, nothing deleted.
TEST_F(TickTest, TheNoticeAloneWritesMadeLinesAndReadsOrDeletesNothing) {
    tree.AddFolder(F);
    HousekeepingSettings notice = Options(0, 0, 0, 0);
    notice.mRecoveryNotice = 1;
    for (int m = 0; m < 3; ++m) Tick(1, At(2026, 12, 9, 9, m), notice);
    Tick(1, At(2026, 12, 9, 9, 3), notice, "");
    EXPECT_TRUE(tree.digested.empty());
    EXPECT_TRUE(tree.removes.empty());
    EXPECT_TRUE(tree.folderRemoves.empty());
    ASSERT_TRUE(journal.Refresh());
    EXPECT_EQ(journal.LiveCount(), 4u);
    for (const Journal::Entry& e : journal.Live()) EXPECT_FALSE(e.record.hasDigest);
}

// Compaction in a host that has only the notice on keeps every other drawing's live copies
// (other hosts' records and the user's registrations).
TEST_F(TickTest, TheNoticeAloneCompactsAwayNoOtherDrawingsCopy) {
    tree.AddFolder(F);
    std::vector<JournalRecord> lines;
    for (int i = 0; i < 100; ++i) {
        JournalRecord r;
        r.kind = i % 2 == 0 ? JournalRecord::Kind::Made : JournalRecord::Kind::Adopted;
        r.path = F + L"\\other_2026120908" + FormatPadded(i % 40, 2) + L".dwg";
        r.drawing = L"D:\\B\\other.dwg";
        r.stamp = At(2026, 12, 9, 8, i % 40);
        r.size = 4;
        r.writeTime = 1;
        r.id = FileIdentity{1, 1000u + static_cast<uint64_t>(i)};
        lines.push_back(r);
    }
    ASSERT_TRUE(journal.Write(lines));  // 100 lines, 40 live: worth compacting
    HousekeepingSettings notice = Options(0, 0, 0, 0);
    notice.mRecoveryNotice = 1;
    Tick(1, At(2026, 12, 9, 9, 0), notice);
    EXPECT_EQ(store.File().replaces, 1);
    ASSERT_TRUE(journal.Refresh());
    EXPECT_EQ(journal.LiveCount(), 41u);
    EXPECT_EQ(journal.Find(F + L"\\other_202612090839.dwg")->record.kind, JournalRecord::Kind::Adopted);
}

// The new copy is on the disk before any older copy goes in its favour; where it cannot be
// made so, nothing goes.
TEST_F(TickTest, TheNewCopyIsFlushedBeforeAnyOlderOneIsDeleted) {
    tree.AddFolder(F);
    for (int m = 0; m < 3; ++m) Tick(1, At(2026, 12, 9, 9, m), kJournalOnly);
    std::vector<std::string> calls;
    tree.onCall = [&](const char* call, const std::wstring&) {
        if (std::string(call) == "FlushFile" || std::string(call) == "RemoveFile") calls.push_back(call);
    };
    tree.flushFails = true;
    TickReport r = Tick(1, At(2026, 12, 9, 9, 3), Options(0, 2, 0, 0));
    EXPECT_TRUE(r.flushFailed);
    EXPECT_EQ(r.removed, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"FlushFile"}));
    tree.flushFails = false;
    calls.clear();
    r = Tick(1, At(2026, 12, 9, 9, 4), Options(0, 2, 0, 0));
    EXPECT_FALSE(r.flushFailed);
    EXPECT_EQ(r.removed, 3);
    EXPECT_EQ(calls, (std::vector<std::string>{"FlushFile", "RemoveFile", "RemoveFile", "RemoveFile"}));
    calls.clear();
    Tick(1, At(2026, 12, 9, 9, 5), kJournalOnly);  // nothing to delete: nothing flushed
    EXPECT_TRUE(calls.empty());
}

// Only what the journal says this plug-in made for this drawing path counts or goes.
TEST_F(TickTest, OnlyJournaledCopiesOfTheSameDrawingPathCountOrGo) {
    Seed(tree);  // copies named like plan.dwg's, made before the journal: never touched
    const auto before = tree.Below(F);
    const std::wstring other = L"E:\\other project\\plan.dwg";  // the same name in another folder
    for (int m = 0; m < 3; ++m) Tick(1, At(2026, 12, 9, 8, m), Options(0, 5, 0, 0), "b", other);
    TickReport r;
    for (int m = 0; m < 6; ++m) r = Tick(1, At(2026, 12, 9, 9, m), Options(0, 5, 0, 0));
    EXPECT_EQ(r.removed, 1);  // the sixth of this drawing's own: its oldest
    for (const std::wstring& rel : before) EXPECT_TRUE(tree.Has(F + L"\\" + rel)) << Utf8Of(rel);
    for (int m = 0; m < 3; ++m) EXPECT_TRUE(tree.Has(Target(1, At(2026, 12, 9, 8, m), other)));
    EXPECT_FALSE(tree.Has(Target(1, At(2026, 12, 9, 9, 0))));
    EXPECT_TRUE(journal.Refresh());
    EXPECT_EQ(journal.LiveCount(), 8u);  // 3 of the other drawing, 5 of this one
}

// A copy the journal knows but the user deleted, or replaced, counts for nothing: keep 3 keeps
// three copies that are there, and the replaced file stays.
TEST_F(TickTest, CopiesThatAreGoneOrReplacedDoNotCount) {
    tree.AddFolder(F);
    for (int m = 0; m < 4; ++m) Tick(1, At(2026, 12, 9, 9, m), Options(0, 3, 0, 0));
    const std::wstring byHand = Target(1, At(2026, 12, 9, 9, 2));
    const std::wstring replaced = Target(1, At(2026, 12, 9, 9, 3));
    tree.nodes.erase(byHand);
    tree.AddFile(replaced, "someone else's", 7);  // another file under the same name
    const TickReport r = Tick(1, At(2026, 12, 9, 9, 4), Options(0, 3, 0, 0));
    EXPECT_EQ(r.removed, 0);
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{Rel(1, At(2026, 12, 9, 9, 1)), Rel(1, At(2026, 12, 9, 9, 3)),
                                                   Rel(1, At(2026, 12, 9, 9, 4))}));
    EXPECT_FALSE(journal.Find(byHand).has_value());  // written gone
    EXPECT_FALSE(journal.Find(replaced).has_value());
    EXPECT_EQ(tree.nodes[replaced].bytes, "someone else's");
}

// A tick never deletes through a date folder that became a link, nor anything it leads to.
TEST_F(TickTest, NothingIsDeletedThroughAFolderSwappedForALink) {
    tree.AddFolder(F);
    Tick(1, At(2026, 11, 1, 9, 0), Options(0, 1, 0, 0));
    // The month folder was moved to an archive and linked back.
    const std::wstring month = F + L"\\2026\\11", archived = L"C:\\archive\\11\\01\\plan_0900.dwg";
    MemoryTree::Node copy = tree.nodes[month + L"\\01\\plan_0900.dwg"];
    for (auto it = tree.nodes.begin(); it != tree.nodes.end();)
        it = it->first.compare(0, month.size(), month) == 0 ? tree.nodes.erase(it) : std::next(it);
    tree.AddOther(month);
    tree.AddFile(archived);
    tree.nodes[archived] = copy;
    const TickReport r = Tick(1, At(2026, 12, 9, 9, 0), Options(0, 1, 0, 0));
    EXPECT_EQ(r.removed, 0);
    EXPECT_TRUE(tree.Has(archived));
    EXPECT_TRUE(tree.Has(month));
    EXPECT_FALSE(journal.Find(Target(1, At(2026, 11, 1, 9, 0))).has_value());  // not there as recorded: gone
}

// Names compare as the file system compares them: letters it keeps apart are two drawings.
TEST_F(TickTest, DrawingsCompareInTheFileSystemsOrder) {
    tree.AddFolder(F);
    Tick(1, At(2026, 12, 9, 9, 0), Options(0, 1, 0, 0), "x", L"D:\\w\\c\u0131ty.dwg");
    Tick(1, At(2026, 12, 9, 9, 1), Options(0, 1, 0, 0), "x", L"D:\\w\\c\u0130ty.dwg");
    Tick(1, At(2026, 12, 9, 9, 2), Options(0, 1, 0, 0), "x", L"D:\\W\\PLAN.DWG");
    const TickReport r = Tick(1, At(2026, 12, 9, 9, 3), Options(0, 1, 0, 0), "x", L"d:\\w\\plan.dwg");
    EXPECT_EQ(r.removed, 1);  // PLAN.DWG's copy: the same drawing, letter case aside
    EXPECT_EQ(Copies(),
              (std::vector<std::wstring>{L"2026\\12\\09\\c\u0130ty_0901.dwg", L"2026\\12\\09\\c\u0131ty_0900.dwg",
                                         L"2026\\12\\09\\plan_0903.dwg"}));
}

// An empty copy (a save reported as done that left no byte) is no good copy: it is never the
// newest, counts for no rule, is never deleted, and its tick deletes nothing.
TEST_F(TickTest, AnEmptyCopyNeverDisplacesAGoodOne) {
    tree.AddFolder(F);
    Tick(4, At(2026, 12, 9, 9, 0), Options(1, 1, 0, 0), "good");
    TickReport r = Tick(4, At(2026, 12, 9, 9, 10), Options(1, 1, 0, 0), "");
    EXPECT_TRUE(r.empty);
    EXPECT_EQ(r.removed, 0);
    EXPECT_FALSE(r.identical);
    r = Tick(4, At(2026, 12, 9, 9, 20), Options(1, 1, 0, 0), "");
    EXPECT_EQ(Copies().size(), 3u);
    // The next good copy replaces the last good one; the empty ones stay as they are.
    r = Tick(4, At(2026, 12, 9, 9, 30), Options(1, 1, 0, 0), "better");
    EXPECT_EQ(r.removed, 1);
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{L"plan_202612090910.dwg", L"plan_202612090920.dwg",
                                                   L"plan_202612090930.dwg"}));
    const std::optional<Journal::Entry> empty = journal.Find(Target(4, At(2026, 12, 9, 9, 10)));
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->record.size, 0u);
}

TEST_F(TickTest, IdenticalNewCopyGoesAndTheEarlierOneStaysOnlyWhileItIsUnchanged) {
    tree.AddFolder(F);
    Tick(1, At(2026, 12, 8, 23, 55), Options(1, 0, 0, 0), "v1");
    const std::wstring earlier = Target(1, At(2026, 12, 8, 23, 55));
    // The first copy of a new day equals the last of the day before: it goes, with its folder.
    TickReport r = Tick(1, At(2026, 12, 9, 0, 5), Options(1, 0, 0, 0), "v1");
    EXPECT_TRUE(r.identical);
    EXPECT_EQ(r.twin, earlier);
    EXPECT_EQ(r.foldersRemoved, 1);
    EXPECT_FALSE(tree.Has(F + L"\\2026\\12\\09"));
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{L"2026\\12\\08\\plan_2355.dwg"}));
    // Each copy is read once, at its own tick: its digest is journaled with it.
    EXPECT_EQ(tree.digested, (std::vector<std::wstring>{earlier, Target(1, At(2026, 12, 9, 0, 5))}));

    // The earlier copy was rewritten with other bytes of the same size since its digest was
    // taken: it is not the copy the journal describes, so it is no twin; a new copy holding the
    // old bytes is kept.
    tree.nodes[earlier].bytes = "v2";  // the same file, rewritten in place
    tree.nodes[earlier].time = 5;
    r = Tick(1, At(2026, 12, 9, 0, 15), Options(1, 0, 0, 0), "v1");
    EXPECT_FALSE(r.identical);
    EXPECT_TRUE(tree.Has(Target(1, At(2026, 12, 9, 0, 15))));
    EXPECT_EQ(tree.nodes[earlier].bytes, "v2");

    // From then on only each new copy is read: the kept one's digest is in the journal. Its
    // made and gone lines are written under one taking of the lock.
    std::vector<std::vector<std::wstring>> reads;
    for (int minute : {25, 35}) {
        tree.ClearCounts();
        const int locks = store.File().locks, appends = store.File().appends;
        r = Tick(1, At(2026, 12, 9, 0, minute), Options(1, 0, 0, 0), "v1");
        EXPECT_TRUE(r.identical);
        EXPECT_TRUE(tree.folderRemoves.empty());  // its folder holds the kept copy: not tried
        EXPECT_EQ(store.File().locks - locks, 1);
        EXPECT_EQ(store.File().appends - appends, 2);
        reads.push_back(tree.digested);
    }
    EXPECT_EQ(reads, (std::vector<std::vector<std::wstring>>{{Target(1, At(2026, 12, 9, 0, 25))},
                                                             {Target(1, At(2026, 12, 9, 0, 35))}}));
    // A different size is decided without reading the earlier copy.
    tree.ClearCounts();
    r = Tick(1, At(2026, 12, 9, 0, 45), Options(1, 0, 0, 0), "longer");
    EXPECT_FALSE(r.identical);
    EXPECT_EQ(tree.digested, (std::vector<std::wstring>{Target(1, At(2026, 12, 9, 0, 45))}));
}

// The journal's lock, kept from the made line to the gone lines, covers only the look at the
// newest earlier copy and the delete of the identical new one: other processes wait for no more.
TEST_F(TickTest, TheJournalsLockIsKeptOnlyForTheNewestCopyAndTheNewOne) {
    tree.AddFolder(F);
    const std::wstring early = Target(1, At(2026, 12, 8, 22, 0)), late = Target(1, At(2026, 12, 8, 23, 0)),
                       fresh = Target(1, At(2026, 12, 9, 0, 5));
    Tick(1, At(2026, 12, 8, 22, 0), kJournalOnly, "v1");          // journaled without its digest
    Tick(1, At(2026, 12, 8, 23, 0), Options(1, 0, 0, 0), "v22");  // of another size: the first not read
    std::vector<std::wstring> underLock;
    tree.onCall = [&](const char* call, const std::wstring& path) {
        if (store.File().locked) underLock.push_back(std::wstring(call, call + strlen(call)) + L" " + path);
    };
    // The newest earlier copy is there, digest journaled: looked at, and the new one deleted.
    Tick(1, At(2026, 12, 9, 0, 5), Options(1, 0, 0, 0), "v22");
    EXPECT_EQ(underLock, (std::vector<std::wstring>{L"Stat " + late, L"RemoveFile " + fresh}));
    EXPECT_FALSE(tree.Has(F + L"\\2026\\12\\09"));
    // It went: the one before it is looked at, read and compared with the lock let go.
    tree.nodes.erase(late);
    underLock.clear();
    Tick(1, At(2026, 12, 9, 0, 5), Options(1, 0, 0, 0), "v1");
    EXPECT_EQ(underLock, std::vector<std::wstring>{L"Stat " + late});
    EXPECT_EQ(tree.digested.back(), early);
    EXPECT_FALSE(tree.Has(fresh));
    // The newest is there but its digest is not journaled: it is read with the lock let go.
    const std::wstring mid = Target(1, At(2026, 12, 8, 23, 30));
    Tick(1, At(2026, 12, 8, 23, 30), kJournalOnly, "v333");
    underLock.clear();
    Tick(1, At(2026, 12, 9, 0, 5), Options(1, 0, 0, 0), "v333");
    EXPECT_EQ(underLock, std::vector<std::wstring>{L"Stat " + mid});
    EXPECT_EQ(tree.digested.back(), mid);
    EXPECT_FALSE(tree.Has(fresh));
}

// A long history goes over several ticks, oldest first, so that no tick holds the host up.
TEST_F(TickTest, ATickDeletesAtMostItsShareOfALongHistoryOldestFirst) {
    tree.AddFolder(F);
    for (int m = 0; m < 250; ++m) Tick(4, At(2026, 12, 1 + m / 60, 8, m % 60), Options(0, 1000, 0, 0));
    // No other process waits for the journal while those go.
    int underLock = 0;
    tree.onCall = [&](const char*, const std::wstring&) { underLock += store.File().locked; };
    std::vector<int> removed;
    for (int hour : {9, 10, 11}) removed.push_back(Tick(4, At(2026, 12, 9, hour, 0), Options(0, 1, 0, 0)).removed);
    EXPECT_EQ(removed, (std::vector<int>{100, 100, 52}));
    EXPECT_EQ(underLock, 0);
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{Rel(4, At(2026, 12, 9, 11, 0))}));
}

TEST_F(TickTest, FailedDeleteIsSilentAndTriedAgainAtTheNextTick) {
    tree.AddFolder(F);
    Tick(1, At(2026, 12, 1, 8, 0), Options(0, 1, 0, 0));
    const std::wstring locked = Target(1, At(2026, 12, 1, 8, 0));
    tree.nodes[locked].undeletable = true;
    TickReport r = Tick(1, At(2026, 12, 9, 9, 0), Options(0, 1, 0, 0));
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.removed, 0);
    ASSERT_TRUE(journal.Find(locked).has_value());  // still made: nothing is written for a failed delete
    tree.nodes[locked].undeletable = false;
    r = Tick(1, At(2026, 12, 9, 9, 10), Options(0, 1, 0, 0));
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.removed, 2);
    EXPECT_FALSE(tree.Has(F + L"\\2026\\12\\01"));
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{L"2026\\12\\09\\plan_0910.dwg"}));
}

// A copy is never deleted because of a copy that is gone: a kept copy the plan depends on is
// checked first, and one that is missing, or another file of its size and time standing in its
// place, drops out (written gone, and that file left alone) before anything is deleted.
TEST_F(TickTest, APlanIsMadeAgainWithoutAKeptCopyThatIsGone) {
    tree.AddFolder(F);
    const HousekeepingSettings thin = Options(0, 0, 0, 1);
    for (const int day : {5, 6}) {
        Tick(1, At(2026, 12, day, 9, 0), kJournalOnly);
        Tick(1, At(2026, 12, day, 10, 0), thin);
    }
    // Each day's newest, which thinning would keep in place of 09:00: on the 5th deleted by
    // hand, on the 6th replaced by another file of the same size and time.
    const std::wstring deleted = Target(1, At(2026, 12, 5, 10, 0)), replaced = Target(1, At(2026, 12, 6, 10, 0));
    tree.nodes.erase(deleted);
    const MemoryTree::Node was = tree.nodes[replaced];
    tree.AddFile(replaced, was.bytes, was.time);
    ASSERT_NE(tree.nodes[replaced].index, was.index);
    const TickReport r = Tick(1, At(2026, 12, 9, 9, 0), thin);
    EXPECT_EQ(r.removed, 0);
    EXPECT_TRUE(tree.removes.empty());
    for (const int day : {5, 6}) EXPECT_TRUE(tree.Has(Target(1, At(2026, 12, day, 9, 0))));  // each day's only copy
    EXPECT_TRUE(tree.Has(replaced));
    EXPECT_FALSE(journal.Find(deleted).has_value());
    EXPECT_FALSE(journal.Find(replaced).has_value());
}

// Date folders: only those the tick's deletions emptied go, and only the folders the journal
// recorded; one that was empty already, or replaced by another folder, stays.
TEST_F(TickTest, OnlyDateFoldersTheDeletionsEmptiedGo) {
    tree.AddFolder(F);
    const HousekeepingSettings keep1 = Options(0, 1, 0, 0);
    Tick(1, At(2026, 12, 1, 8, 0), keep1);
    Tick(2, At(2026, 12, 2, 8, 0), keep1);
    Tick(3, At(2026, 12, 3, 8, 0), keep1);  // deleted 12\01's copy (and 2026\12\01) and 202612\02's
    EXPECT_FALSE(tree.Has(F + L"\\2026\\12\\01"));
    EXPECT_FALSE(tree.Has(F + L"\\202612"));
    // 2026\1203's copy deleted by hand: its folder is empty already before the next tick, which
    // finds the copy gone and removes nothing.
    tree.nodes.erase(Target(3, At(2026, 12, 3, 8, 0)));
    TickReport r = Tick(4, At(2026, 12, 4, 8, 0), keep1);
    EXPECT_EQ(r.foldersRemoved, 0);
    EXPECT_TRUE(tree.Has(F + L"\\2026\\1203"));
    // A day folder replaced by another one of the same name, the copy moved into it: the copy
    // goes, and the folder, not the recorded one, stays.
    Tick(1, At(2026, 12, 5, 8, 0), kJournalOnly);
    const std::wstring day = F + L"\\2026\\12\\05";
    tree.nodes[day].index += 1000;
    r = Tick(1, At(2026, 12, 6, 8, 0), keep1);
    EXPECT_EQ(r.removed, 2);  // 12\05's and the flat one of the 4th
    EXPECT_EQ(r.foldersRemoved, 0);
    EXPECT_EQ(tree.Below(day), std::vector<std::wstring>{});
    EXPECT_TRUE(tree.Has(day));
}

TEST_F(TickTest, AJournalThatCannotBeReadOrWrittenDeletesNothing) {
    tree.AddFolder(F);
    Tick(1, At(2026, 12, 1, 8, 0), Options(0, 1, 0, 0));
    for (bool unreadable : {true, false}) {
        SCOPED_TRACE(unreadable ? "unreadable" : "unwritable");
        store.File().unreadable = unreadable;
        store.File().unwritable = !unreadable;
        tree.ClearCounts();
        const TickReport r = Tick(1, At(2026, 12, 9, 9, unreadable ? 0 : 1), Options(0, 1, 0, 0));
        EXPECT_TRUE(r.journalFailed);
        EXPECT_TRUE(tree.removes.empty());
    }
    EXPECT_EQ(Copies().size(), 3u);
}

TEST_F(TickTest, FutureCopiesAreNeverTheEarlierCopyNorDeleted) {
    tree.AddFolder(F);
    Tick(1, At(2026, 12, 10, 8, 0), kJournalOnly, "new");  // a clock that ran ahead
    Tick(1, At(2026, 12, 9, 8, 0), kJournalOnly, "old");
    const TickReport r = Tick(1, At(2026, 12, 9, 9, 0), Options(1, 1, 0, 0), "new");
    EXPECT_FALSE(r.identical);
    EXPECT_EQ(r.removed, 1);
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{L"2026\\12\\09\\plan_0900.dwg", L"2026\\12\\10\\plan_0800.dwg"}));
}

TEST(RetentionPreviewTest, CountsWhatTheNextBackupWouldRemove) {
    MemoryTree tree;
    Seed(tree);
    tree.AddFile(Target(1, At(2027, 1, 1, 0, 0)), "future");
    DrawingKey key;
    ASSERT_TRUE(DrawingKeyOfPath(kDrawing, key));
    const std::vector<BackupCopy> copies = ScanCopies(tree, F, &key);
    const int64_t now = StampMinutes(At(2026, 12, 9, 9, 5));
    const RetentionPreview p = PreviewNextBackup(copies, now, RulesOf(Options(0, 2, 0, 0)));
    EXPECT_EQ(p.copies, 6u);
    EXPECT_EQ(p.bytes, 6u);
    EXPECT_EQ(p.future, 1u);
    EXPECT_EQ(p.removable, 5u);  // the next copy and the newest existing one stay
    EXPECT_EQ(p.removableBytes, 5u);
    EXPECT_EQ(PreviewNextBackup(copies, now, {}).removable, 0u);
    const BackupCopy* newest = NewestCopy(copies, now);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->path, F + L"\\2026\\12\\08\\plan_1300.dwg");
    EXPECT_EQ(NewestCopy({}, now), nullptr);
}

TEST(FormatBytesTest, OneDecimalInPowersOf1024) {
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 B"},
        {1023, L"1023 B"},
        {1024, L"1.0 KB"},
        {1536, L"1.5 KB"},
        {1048524, L"1023.9 KB"},
        {1048575, L"1.0 MB"},  // 1023.99 KB rounds up into the next unit
        {1288490189, L"1.2 GB"},
        {~uint64_t{0}, L"16.0 EB"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatBytes(c.bytes), c.text) << c.bytes;
}

}  // namespace
