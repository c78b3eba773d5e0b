#include <gtest/gtest.h>

#include "MemoryTree.h"
#include "backup/BackupPath.h"

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

HousekeepingSettings Options(int skip, int count, int days, int thin) { return {skip, count, days, thin}; }

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

class HousekeepingTest : public ::testing::Test {
protected:
    // The host saved the drawing to the target of `pattern` at `s`; housekeeping runs.
    TickReport Tick(int pattern, const CivilStamp& s, const HousekeepingSettings& options,
                    const std::string& bytes = "drawing", const std::wstring& drawing = kDrawing,
                    const std::wstring& setting = kSetting) {
        const std::wstring target = Target(pattern, s, drawing, setting);
        tree.AddFile(target, bytes, ++clock);
        return keeper.AfterSave(tree, setting, drawing, target, options);
    }
    std::vector<std::wstring> Copies() {
        std::vector<std::wstring> out;
        for (const std::wstring& p : tree.Below(F))
            if (tree.nodes[F + L"\\" + p].kind == EntryKind::File) out.push_back(p);
        return out;
    }

    MemoryTree tree;
    Housekeeper keeper;
    uint64_t clock = 100;
};

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

TEST_F(HousekeepingTest, EveryOptionOffTouchesNothing) {
    Seed(tree);
    const std::wstring target = Target(1, At(2026, 12, 9, 9, 5));
    tree.AddFile(target);
    const auto before = tree.nodes;
    tree.ClearCounts();
    const TickReport r = keeper.AfterSave(tree, kSetting, kDrawing, target, HousekeepingSettings{});
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(tree.Calls(), 0);
    EXPECT_EQ(tree.nodes.size(), before.size());
}

TEST_F(HousekeepingTest, ScanFindsExactlyTheCopiesOfTheDrawing) {
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

TEST_F(HousekeepingTest, IdenticalNewCopyGoesAndTheEarlierStays) {
    tree.AddFolder(F);
    Tick(1, At(2026, 12, 8, 23, 55), Options(0, 0, 0, 0), "v1");  // made before the option was on
    const std::wstring earlier = Target(1, At(2026, 12, 8, 23, 55));
    tree.ClearCounts();
    // The first copy of a new day equals the last of the day before: it goes, with its folder.
    TickReport r = Tick(1, At(2026, 12, 9, 0, 5), Options(1, 0, 0, 0), "v1");
    EXPECT_TRUE(r.ran);
    EXPECT_TRUE(r.identical);
    EXPECT_EQ(r.twin, earlier);
    EXPECT_EQ(r.removed, 0);
    EXPECT_EQ(r.foldersRemoved, 1);
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{L"2026\\12\\08\\plan_2355.dwg"}));
    EXPECT_FALSE(tree.Has(F + L"\\2026\\12\\09"));
    EXPECT_TRUE(tree.Has(F + L"\\2026\\12"));

    // Changed bytes, same size: kept. A different size is decided without reading anything.
    r = Tick(1, At(2026, 12, 9, 0, 15), Options(1, 0, 0, 0), "v2");
    EXPECT_FALSE(r.identical);
    tree.ClearCounts();
    r = Tick(1, At(2026, 12, 9, 0, 25), Options(1, 0, 0, 0), "longer");
    EXPECT_FALSE(r.identical);
    EXPECT_TRUE(tree.digested.empty());
    EXPECT_EQ(Copies().size(), 3u);

    // An identical copy that cannot be deleted stays, silently, and the next tick looks again.
    const std::wstring stuck = Target(1, At(2026, 12, 9, 0, 35));
    tree.AddFile(stuck, "longer", ++clock);
    tree.nodes[stuck].undeletable = true;
    const int scans = keeper.Scans();
    r = keeper.AfterSave(tree, kSetting, kDrawing, stuck, Options(1, 0, 0, 0));
    EXPECT_FALSE(r.identical);
    EXPECT_EQ(r.failed, 1);
    EXPECT_TRUE(tree.Has(stuck));
    Tick(1, At(2026, 12, 9, 0, 45), Options(1, 0, 0, 0), "other!");
    EXPECT_EQ(keeper.Scans(), scans);  // retried from the index within the hour
    Tick(1, At(2026, 12, 9, 1, 5), Options(1, 0, 0, 0), "other?");
    EXPECT_EQ(keeper.Scans(), scans + 1);
}

TEST_F(HousekeepingTest, SteadyTicksReadOnlyTheCopyJustWritten) {
    tree.AddFolder(F);
    const HousekeepingSettings skip = Options(1, 0, 0, 0);
    Tick(4, At(2026, 12, 9, 9, 0), Options(0, 0, 0, 0), "same");
    const std::wstring first = Target(4, At(2026, 12, 9, 9, 0));
    std::vector<std::vector<std::wstring>> reads;
    std::vector<int> lists;
    for (int minute = 10; minute <= 40; minute += 10) {
        tree.ClearCounts();
        const TickReport r = Tick(4, At(2026, 12, 9, 9, minute), skip, "same");
        EXPECT_TRUE(r.identical);
        reads.push_back(tree.digested);
        lists.push_back(tree.lists);
        if (minute == 20) tree.nodes[first].time = 999;  // the earlier copy was touched: read it again, once
    }
    const std::wstring t10 = Target(4, At(2026, 12, 9, 9, 10)), t20 = Target(4, At(2026, 12, 9, 9, 20)),
                       t30 = Target(4, At(2026, 12, 9, 9, 30)), t40 = Target(4, At(2026, 12, 9, 9, 40));
    EXPECT_EQ(reads, (std::vector<std::vector<std::wstring>>{{first, t10}, {t20}, {first, t30}, {t40}}));
    EXPECT_EQ(lists, (std::vector<int>{1, 0, 0, 0}));  // one scan, then the index
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{L"plan_202612090900.dwg"}));
}

TEST_F(HousekeepingTest, FutureCopiesAreNotTheEarlierCopyAndAreNeverDeleted) {
    tree.AddFolder(F);
    tree.AddFile(Target(1, At(2026, 12, 9, 8, 0)), "old");
    tree.AddFile(Target(1, At(2026, 12, 10, 8, 0)), "new");  // from a clock that ran ahead
    const TickReport r = Tick(1, At(2026, 12, 9, 9, 0), Options(1, 1, 0, 0), "new");
    EXPECT_FALSE(r.identical);
    EXPECT_EQ(r.removed, 1);
    EXPECT_EQ(Copies(), Sorted({L"2026\\12\\09\\plan_0900.dwg", L"2026\\12\\10\\plan_0800.dwg"}));
}

TEST_F(HousekeepingTest, RulesDeleteOnlyWhatThePlanRemovesAndTheFoldersTheyEmptied) {
    Seed(tree);
    const auto decoysBefore = tree.Below(L"C:\\elsewhere");
    const TickReport r = Tick(2, At(2026, 12, 9, 9, 5), Options(0, 3, 0, 0));
    EXPECT_EQ(r.removed, 4);
    EXPECT_EQ(r.removedBytes, 4u);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(tree.Below(F), Sorted({L"0000",
                                     L"0000\\00",
                                     L"0000\\00\\00",
                                     L"0000\\00\\00\\plan_-1-1.dwg",
                                     L"2025",
                                     L"2026",
                                     L"2026\\10",
                                     L"2026\\10\\31",  // already empty: left alone
                                     L"2026\\11",
                                     L"2026\\11\\01",  // still holds a decoy
                                     L"2026\\11\\01\\plan_202611010800.dwg",
                                     L"2026\\12",
                                     L"2026\\12\\08",
                                     L"2026\\12\\08\\other_1300.dwg",
                                     L"2026\\12\\08\\plan_0930.dwg",
                                     L"2026\\12\\08\\plan_0931.dwg",
                                     L"2026\\12\\08\\plan_1300.dwg",
                                     L"2026\\12\\08\\plan_1300.dwg.bak",
                                     L"2026\\12\\08\\plan_1300.dxf",
                                     L"2026\\13",
                                     L"2026\\13\\08",
                                     L"2026\\13\\08\\plan_1300.dwg",
                                     L"202612",
                                     L"202612\\09",
                                     L"202612\\09\\plan_0905.dwg",
                                     L"old",
                                     L"old\\2026",
                                     L"old\\2026\\11",
                                     L"old\\2026\\11\\01",
                                     L"old\\2026\\11\\01\\plan_0800.dwg",
                                     L"plan_0800.dwg",
                                     L"plan_202611020800.dwg",
                                     L"plan_202611030800.dwg",
                                     L"plan_202612081200.dwg"}));
    // 202611\15 and 2026\1130 were emptied and removed; so was 202611 above 15.
    EXPECT_EQ(r.foldersRemoved, 3);
    EXPECT_EQ(std::count(tree.folderRemoves.begin(), tree.folderRemoves.end(), F), 0);  // never the backup folder
    EXPECT_EQ(tree.Below(L"C:\\elsewhere"), decoysBefore);
    EXPECT_TRUE(tree.Has(F));
}

TEST_F(HousekeepingTest, EachRuleAloneAndAllTogetherOnOneHistory) {
    const struct {
        const char* what;
        HousekeepingSettings options;
        std::vector<std::wstring> left;
    } cases[] = {
        {"keep 2", Options(0, 2, 0, 0), {L"2026\\12\\08\\plan_1300.dwg", L"202612\\09\\plan_0905.dwg"}},
        {"30 days",
         Options(0, 0, 30, 0),
         {L"202611\\15\\plan_1000.dwg", L"2026\\1130\\plan_1100.dwg", L"plan_202612081200.dwg",
          L"2026\\12\\08\\plan_1300.dwg", L"202612\\09\\plan_0905.dwg"}},
        {"thin out",
         Options(0, 0, 0, 1),
         {L"2026\\11\\01\\PLAN_0900.DWG", L"202611\\15\\plan_1000.dwg", L"2026\\1130\\plan_1100.dwg",
          L"plan_202612081200.dwg", L"2026\\12\\08\\plan_1300.dwg", L"202612\\09\\plan_0905.dwg"}},
        {"all four",
         Options(1, 4, 20, 1),
         {L"2026\\1130\\plan_1100.dwg", L"plan_202612081200.dwg", L"2026\\12\\08\\plan_1300.dwg",
          L"202612\\09\\plan_0905.dwg"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tree = MemoryTree();
        keeper = Housekeeper();
        // Sunday 1 November twice (more than 30 days old), then one copy on each of three days.
        for (const wchar_t* rel :
             {L"2026\\11\\01\\plan_0800.dwg", L"2026\\11\\01\\PLAN_0900.DWG", L"202611\\15\\plan_1000.dwg",
              L"2026\\1130\\plan_1100.dwg", L"plan_202612081200.dwg", L"2026\\12\\08\\plan_1300.dwg"})
            tree.AddFile(F + L"\\" + rel);
        Tick(2, At(2026, 12, 9, 9, 5), c.options);
        EXPECT_EQ(Copies(), Sorted(c.left));
    }
}

TEST_F(HousekeepingTest, FailedDeleteIsSilentAndTriedAgainAtALaterTick) {
    tree.AddFolder(F);
    const std::wstring locked = Target(1, At(2026, 12, 1, 8, 0));
    tree.AddFile(locked);
    tree.nodes[locked].undeletable = true;
    const struct {
        CivilStamp at;
        bool unlock;
        int failed, removed, scans;
    } ticks[] = {
        {At(2026, 12, 9, 9, 0), false, 1, 0, 1},
        {At(2026, 12, 9, 9, 10), false, 1, 1, 1},  // tried again from the index
        {At(2026, 12, 9, 10, 0), false, 1, 1, 2},  // an hour after the scan: the tree is listed again
        {At(2026, 12, 9, 10, 10), true, 0, 2, 2},  // deletable now
    };
    for (const auto& t : ticks) {
        SCOPED_TRACE(testing::Message() << t.at.hour << ":" << t.at.minute);
        tree.nodes[locked].undeletable = !t.unlock;
        const TickReport r = Tick(1, t.at, Options(0, 1, 0, 0));
        EXPECT_EQ(r.failed, t.failed);
        EXPECT_EQ(r.removed, t.removed);
        EXPECT_EQ(keeper.Scans(), t.scans);
    }
    EXPECT_FALSE(tree.Has(locked));
    EXPECT_FALSE(tree.Has(F + L"\\2026\\12\\01"));
    EXPECT_EQ(Copies(), (std::vector<std::wstring>{L"2026\\12\\09\\plan_1010.dwg"}));

    // A copy someone else removed since the scan is not a failure.
    const std::wstring gone = Target(1, At(2026, 12, 9, 10, 10));
    tree.nodes.erase(gone);
    TickReport r = Tick(1, At(2026, 12, 9, 10, 20), Options(0, 1, 0, 0));
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.removed, 0);
}

TEST_F(HousekeepingTest, TheIndexIsBuiltAgainOnlyWhenItMayBeWrong) {
    tree.AddFolder(F);
    tree.AddFolder(L"C:\\C2");
    const HousekeepingSettings on = Options(0, 100, 0, 0);
    const struct {
        const char* what;
        CivilStamp at;
        const wchar_t* drawing;
        const wchar_t* setting;
        int scans;
    } ticks[] = {
        {"first", At(2026, 12, 9, 9, 0), L"D:\\w\\plan.dwg", L"C:\\B", 1},
        {"steady", At(2026, 12, 9, 9, 10), L"D:\\w\\plan.dwg", L"C:\\B\\", 1},
        {"other folder", At(2026, 12, 9, 9, 20), L"D:\\w\\plan.dwg", L"C:\\C2", 2},
        {"other drawing", At(2026, 12, 9, 9, 30), L"D:\\w\\other.dwg", L"C:\\C2", 3},
        {"same drawing, other letter case", At(2026, 12, 9, 9, 40), L"D:\\w\\OTHER.DWG", L"C:\\C2", 3},
        {"clock went back", At(2026, 12, 9, 9, 0), L"D:\\w\\other.dwg", L"C:\\C2", 4},
        {"just under a day", At(2026, 12, 10, 8, 59), L"D:\\w\\other.dwg", L"C:\\C2", 4},
        {"a day on", At(2026, 12, 10, 9, 0), L"D:\\w\\other.dwg", L"C:\\C2", 5},
    };
    for (const auto& t : ticks) {
        SCOPED_TRACE(t.what);
        Tick(4, t.at, on, "x", t.drawing, t.setting);
        EXPECT_EQ(keeper.Scans(), t.scans);
    }
    EXPECT_EQ(keeper.Indexed(), 5u);  // other.dwg's five copies in C:\C2
}

TEST_F(HousekeepingTest, NothingHappensWithoutARealStampOrWithoutTheCopy) {
    Seed(tree);
    tree.ClearCounts();
    const std::wstring failed = F + L"\\0000\\00\\00\\plan_-1-1.dwg";
    TickReport r = keeper.AfterSave(tree, kSetting, kDrawing, failed, Options(1, 1, 1, 1));
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(tree.Calls(), 0);
    const std::wstring missing = Target(1, At(2026, 12, 9, 9, 5));
    r = keeper.AfterSave(tree, kSetting, kDrawing, missing, Options(1, 1, 1, 1));
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(tree.Calls(), 1);  // the one look at whether the copy exists
    // A target of another drawing than the one reported is not this drawing's copy.
    tree.AddFile(missing);
    r = keeper.AfterSave(tree, kSetting, L"D:\\w\\other.dwg", missing, Options(1, 1, 1, 1));
    EXPECT_FALSE(r.ran);
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
