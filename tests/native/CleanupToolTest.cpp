#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <utility>

#include "MemoryTree.h"
#include "cleanup/CleanupPosix.h"
#include "cleanup/CleanupTool.h"
#include "cleanup/PosixFileTree.h"

namespace {

const CivilStamp kNow{2026, 12, 9, 9, 5};
// For the copy stamped 2027-01-01 in CleanupToolTest's tree, planned at kNow in UTC.
const std::wstring kFutureWarning =
    L"warning: 1 copy is stamped more than an hour after now (2026-12-09 09:05) in this machine's time zone "
    L"(+00:00); if the copies were made in another one (a file server often runs in UTC), give it with --zone +hh:mm";

TEST(CleanupArgsTest, ReadsOptionsAndRefusesWhatItCannotUse) {
    CleanupOptions o;
    std::wstring error;
    ASSERT_TRUE(ParseCleanupArgs({L"C:\\B", L"--keep-count", L"10", L"--keep-days", L"30", L"--thin-out", L"--drawing",
                                  L"plan.dwg", L"--now", L"2026-12-09T14:30", L"--delete"},
                                 o, error));
    EXPECT_EQ(o.folder, L"C:\\B");
    EXPECT_EQ(o.rules.keepCount, 10);
    EXPECT_EQ(o.rules.keepDays, 30);
    EXPECT_TRUE(o.rules.thinOut);
    EXPECT_EQ(o.drawings, std::vector<std::wstring>{L"plan.dwg"});
    EXPECT_TRUE(o.hasNow);
    EXPECT_EQ(o.now, (CivilStamp{2026, 12, 9, 14, 30}));
    EXPECT_TRUE(o.remove);
    EXPECT_FALSE(o.hasZone);
    ASSERT_TRUE(ParseCleanupArgs({L"/srv/b"}, o, error));
    EXPECT_FALSE(o.remove);  // a dry run unless asked
    EXPECT_FALSE(o.rules.Any());

    const std::vector<std::vector<std::wstring>> refused = {
        {},
        {L"a", L"b"},
        {L"a", L"--keep-count"},
        {L"a", L"--keep-count", L"-1"},
        {L"a", L"--keep-count", L"2147483648"},
        {L"a", L"--keep-days", L"1x"},
        {L"a", L"--now", L"2026-02-30 10:00"},
        {L"a", L"--now", L"2026-12-09 24:00"},
        {L"a", L"--drawing", L"..."},
        {L"a", L"--force"},
    };
    for (const auto& args : refused) {
        error.clear();
        EXPECT_FALSE(ParseCleanupArgs(args, o, error)) << args.size();
        EXPECT_FALSE(error.empty());
    }
}

// What may be deleted must be named; --drawing and --ext repeat; --zone is an offset +hh:mm.
TEST(CleanupArgsTest, FiltersAndZone) {
    struct Row {
        std::vector<std::wstring> args;  // after the folder
        std::wstring error;              // empty: accepted
        std::vector<std::wstring> drawings, exts;
        bool hasZone = false;
        int zone = 0;
    };
    const std::wstring noFilter =
        L"--delete deletes only copies named by --drawing NAME or --ext EXT; give at least one";
    const std::vector<Row> rows = {
        {{L"--delete"}, noFilter, {}, {}},
        {{L"--delete", L"--keep-count", L"3", L"--thin-out"}, noFilter, {}, {}},
        {{L"--delete", L"--drawing", L"plan.dwg"}, L"", {L"plan.dwg"}, {}},
        {{L"--delete", L"--ext", L"dwg"}, L"", {}, {L"dwg"}},
        {{L"--ext", L".DWG", L"--ext", L"bak"}, L"", {}, {L"DWG", L"bak"}},
        {{L"--drawing", L"a.dwg", L"--ext", L"dxf", L"--drawing", L"D:\\w\\b.dxf", L"--delete"},
         L"",
         {L"a.dwg", L"D:\\w\\b.dxf"},
         {L"dxf"}},
        {{L"--ext", L""}, L"not an extension (such as dwg): ", {}, {}},
        {{L"--ext", L"."}, L"not an extension (such as dwg): .", {}, {}},
        {{L"--ext", L"d.wg"}, L"not an extension (such as dwg): d.wg", {}, {}},
        {{L"--ext", L"dw/g"}, L"not an extension (such as dwg): dw/g", {}, {}},
        {{L"--ext", L"dwg\n"}, L"not an extension (such as dwg): dwg?", {}, {}},
        {{L"--ext"}, L"--ext needs a value", {}, {}},
        {{L"--zone", L"+09:00"}, L"", {}, {}, true, 540},
        {{L"--zone", L"-05:30"}, L"", {}, {}, true, -330},
        {{L"--zone", L"+14:00"}, L"", {}, {}, true, 840},
        {{L"--zone", L"-00:00"}, L"", {}, {}, true, 0},
    };
    for (const Row& r : rows) {
        std::vector<std::wstring> args = {L"/srv/b"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        CleanupOptions o;
        std::wstring error;
        const bool ok = ParseCleanupArgs(args, o, error);
        EXPECT_EQ(ok, r.error.empty()) << r.error;
        EXPECT_EQ(error, r.error);
        if (!ok) continue;
        EXPECT_EQ(o.drawings, r.drawings);
        EXPECT_EQ(o.exts, r.exts);
        EXPECT_EQ(o.hasZone, r.hasZone);
        EXPECT_EQ(o.zoneMinutes, r.zone);
    }
    for (const wchar_t* bad :
         {L"+9:00", L"09:00", L"+09", L"+0900", L"+14:01", L"+15:00", L"+09:60", L"Z", L"+09:0a"}) {
        CleanupOptions o;
        std::wstring error;
        EXPECT_FALSE(ParseCleanupArgs({L"/srv/b", L"--zone", bad}, o, error)) << bad;
        EXPECT_EQ(error, L"--zone takes an offset from UTC, +hh:mm or -hh:mm (at most 14:00): " + std::wstring(bad));
    }
    EXPECT_EQ(FormatZone(540), L"+09:00");
    EXPECT_EQ(FormatZone(-330), L"-05:30");
    EXPECT_EQ(FormatZone(0), L"+00:00");
}

class CleanupToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* rel :
             {L"2026\\11\\01\\plan_0800.dwg", L"2026\\11\\01\\plan_0900.dwg", L"202611\\15\\plan_1000.dwg",
              L"plan_202612081200.dwg", L"2026\\12\\08\\plan_1300.dwg", L"2026\\12\\08\\other_1300.dwg",
              L"2026\\12\\08\\notes.txt", L"2027\\01\\01\\plan_0000.dwg"})
            tree.AddFile(L"C:\\B\\" + std::wstring(rel), "1234");
    }
    int Run(const std::vector<std::wstring>& args) {
        CleanupOptions o;
        std::wstring error;
        EXPECT_TRUE(ParseCleanupArgs(args, o, error)) << error;
        lines.clear();
        errors.clear();
        return RunCleanup(tree, o, CleanupNow{kNow, true, 0}, Sink(lines), Sink(errors));
    }
    // The whole tool, with a clock reading `utc` in a machine `offset` minutes east of UTC.
    int Main(const std::vector<std::wstring>& args, const CivilStamp& utc = kNow, int offset = 0,
             bool clockWorks = true) {
        lines.clear();
        errors.clear();
        const CleanupClock clock = [=](ClockReading& r) {
            r.utcMinutes = StampMinutes(utc);
            r.offsetMinutes = offset;
            return clockWorks;
        };
        return CleanupMain(args, tree, clock, Sink(lines), Sink(errors));
    }
    static CleanupSink Sink(std::vector<std::wstring>& to) {
        return [&to](const std::wstring& l) { to.push_back(l); };
    }
    bool Printed(const std::wstring& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    bool Errored(const std::wstring& line) const {
        return std::find(errors.begin(), errors.end(), line) != errors.end();
    }

    MemoryTree tree;
    std::vector<std::wstring> lines, errors;
};

TEST_F(CleanupToolTest, DryRunListsEveryCopyAndChangesNothing) {
    const auto before = tree.nodes;
    EXPECT_EQ(Run({L"C:\\B\\", L"--keep-count", L"2"}), 0);
    EXPECT_EQ(tree.nodes.size(), before.size());
    EXPECT_TRUE(tree.removes.empty());
    EXPECT_TRUE(tree.folderRemoves.empty());
    EXPECT_TRUE(Printed(L"plan.dwg: 6 copies"));
    EXPECT_TRUE(Printed(L"  2026-11-01 08:00  remove  keep-count         4 B  C:\\B\\2026\\11\\01\\plan_0800.dwg"));
    EXPECT_TRUE(Printed(L"  2026-12-08 12:00  keep    kept               4 B  C:\\B\\plan_202612081200.dwg"));
    EXPECT_TRUE(Printed(L"  2026-12-08 13:00  keep    newest             4 B  C:\\B\\2026\\12\\08\\plan_1300.dwg"));
    EXPECT_TRUE(Printed(L"  2027-01-01 00:00  keep    future             4 B  C:\\B\\2027\\01\\01\\plan_0000.dwg"));
    EXPECT_TRUE(Printed(L"  keep 3 copies (12 B), remove 3 copies (12 B)"));
    EXPECT_TRUE(Printed(L"other.dwg: 1 copy"));
    EXPECT_TRUE(Printed(L"total: 2 drawings, 7 copies (28 B); the rules remove 3 copies (12 B)"));
    EXPECT_EQ(lines.back(), L"dry run: nothing was deleted; run again with --delete to delete them");
}

TEST_F(CleanupToolTest, DeleteRemovesExactlyThePlannedCopiesOfTheDrawing) {
    EXPECT_EQ(Run({L"C:\\B", L"--keep-count", L"2", L"--drawing", L"D:\\w\\PLAN.dwg", L"--delete"}), 0);
    EXPECT_EQ(tree.removes,
              (std::vector<std::wstring>{L"C:\\B\\2026\\11\\01\\plan_0800.dwg", L"C:\\B\\2026\\11\\01\\plan_0900.dwg",
                                         L"C:\\B\\202611\\15\\plan_1000.dwg"}));
    EXPECT_EQ(tree.Below(L"C:\\B"),
              (std::vector<std::wstring>{L"2026", L"2026\\12", L"2026\\12\\08", L"2026\\12\\08\\notes.txt",
                                         L"2026\\12\\08\\other_1300.dwg", L"2026\\12\\08\\plan_1300.dwg", L"2027",
                                         L"2027\\01", L"2027\\01\\01", L"2027\\01\\01\\plan_0000.dwg",
                                         L"plan_202612081200.dwg"}));
    EXPECT_FALSE(Printed(L"other.dwg: 1 copy"));
    EXPECT_EQ(lines.back(), L"deleted 3 copies (12 B) and 4 emptied date folder(s); 0 could not be deleted");

    tree.nodes[L"C:\\B\\plan_202612081200.dwg"].undeletable = true;
    EXPECT_EQ(Run({L"C:\\B", L"--keep-count", L"1", L"--ext", L"dwg", L"--delete"}), 1);
    EXPECT_EQ(errors, (std::vector<std::wstring>{kFutureWarning, L"could not delete C:\\B\\plan_202612081200.dwg"}));
    EXPECT_EQ(Run({L"C:\\missing"}), 3);
    EXPECT_EQ(errors, std::vector<std::wstring>{L"cannot list the backup folder: C:\\missing"});
}

// Each planned delete is carried out or named: one refused, one that finds another file there
// and one that finds nothing free nothing and fail the run; the deletes around them go ahead.
TEST(CleanupToolDeleteTest, APlannedDeleteNotCarriedOutIsNamedAndFailsTheRun) {
    const std::wstring day = L"C:\\B\\2026\\12\\01\\", copy = day + L"plan_0900.dwg";
    struct Row {
        std::function<void(MemoryTree&, const std::wstring&)> before;  // done to the copy right before its delete
        int exit;
        std::vector<std::wstring> lines, errors;  // lines: after the total line
        std::vector<std::wstring> left;           // in the day folder afterwards
    };
    const std::wstring summary = L"deleted 2 copies (5 B) and 0 emptied date folder(s); ";
    const std::vector<Row> rows = {
        {nullptr,
         0,
         {L"deleted 3 copies (7 B) and 0 emptied date folder(s); 0 could not be deleted"},
         {},
         {L"plan_1100.dwg"}},
        {[](MemoryTree& t, const std::wstring& p) { t.nodes[p].undeletable = true; },
         1,
         {summary + L"1 could not be deleted"},
         {L"could not delete " + copy},
         {L"plan_0900.dwg", L"plan_1100.dwg"}},
        {[](MemoryTree& t, const std::wstring& p) { t.nodes[p].time = 99; },
         1,
         {L"left alone, changed since it was listed: " + copy,
          summary + L"0 could not be deleted; 1 changed since listed, left alone"},
         {},
         {L"plan_0900.dwg", L"plan_1100.dwg"}},
        {[](MemoryTree& t, const std::wstring& p) { t.nodes.erase(p); },
         1,
         {L"no longer there: " + copy, summary + L"0 could not be deleted; 1 no longer there"},
         {},
         {L"plan_1100.dwg"}},
    };
    for (const Row& r : rows) {
        MemoryTree tree;
        tree.AddFile(day + L"plan_0800.dwg", "a");
        tree.AddFile(copy, "bb");
        tree.AddFile(day + L"plan_1000.dwg", "cccc");
        tree.AddFile(day + L"plan_1100.dwg", "dddddddd");
        tree.onCall = [&](const char* call, const std::wstring& path) {
            if (r.before && std::string(call) == "RemoveFile" && path == copy) r.before(tree, copy);
        };
        CleanupOptions o;
        std::wstring error;
        ASSERT_TRUE(ParseCleanupArgs({L"C:\\B", L"--keep-count", L"1", L"--ext", L"dwg", L"--delete"}, o, error));
        std::vector<std::wstring> lines, errors;
        EXPECT_EQ(RunCleanup(
                      tree, o, CleanupNow{kNow, true, 0}, [&](const std::wstring& l) { lines.push_back(l); },
                      [&](const std::wstring& l) { errors.push_back(l); }),
                  r.exit)
            << r.lines.back();
        const auto total = std::find_if(lines.begin(), lines.end(),
                                        [](const std::wstring& l) { return l.compare(0, 7, L"total: ") == 0; });
        ASSERT_NE(total, lines.end());
        EXPECT_EQ(std::vector<std::wstring>(total + 1, lines.end()), r.lines);
        EXPECT_EQ(errors, r.errors) << r.lines.back();
        EXPECT_EQ(tree.Below(L"C:\\B\\2026\\12\\01"), r.left) << r.lines.back();
    }
}

// Copies whose names differ only in ASCII letter case are copies of one drawing.
TEST_F(CleanupToolTest, GroupsCopiesAsTheFileSystemComparesNames) {
    tree.nodes.clear();
    tree.AddFile(L"C:\\B\\2026\\12\\01\\PLAN_0900.DWG", "1234");
    tree.AddFile(L"C:\\B\\2026\\12\\01\\plan_0800.dwg", "1234");
    tree.AddFile(L"C:\\B\\2026\\12\\01\\Plan_1000.Dwg", "1234");
    EXPECT_EQ(Run({L"C:\\B", L"--keep-count", L"1"}), 0);
    EXPECT_TRUE(Printed(L"plan.dwg: 3 copies"));
    EXPECT_TRUE(Printed(L"  2026-12-01 09:00  remove  keep-count         4 B  C:\\B\\2026\\12\\01\\PLAN_0900.DWG"));
    EXPECT_TRUE(Printed(L"  2026-12-01 10:00  keep    newest             4 B  C:\\B\\2026\\12\\01\\Plan_1000.Dwg"));
    EXPECT_TRUE(Printed(L"total: 1 drawing, 3 copies (12 B); the rules remove 2 copies (8 B)"));
}

// A date folder that cannot be listed is left out, said so, and fails the run, dry or not.
TEST_F(CleanupToolTest, UnlistableDateFolderIsNotedAndFailsTheRun) {
    tree.unlistable.insert(L"C:\\B\\202611\\15");
    for (const bool remove : {false, true}) {
        std::vector<std::wstring> args = {L"C:\\B", L"--keep-count", L"2"};
        if (remove) args.insert(args.end(), {L"--drawing", L"plan.dwg", L"--delete"});
        EXPECT_EQ(Run(args), 1) << remove;
        EXPECT_EQ(errors,
                  (std::vector<std::wstring>{L"cannot list the date folder C:\\B\\202611\\15; its copies are left out",
                                             kFutureWarning}));
        EXPECT_TRUE(Printed(L"plan.dwg: 5 copies")) << remove;
        EXPECT_TRUE(Printed(L"note: 1 date folder(s) could not be listed and were left out")) << remove;
    }
    EXPECT_TRUE(tree.Has(L"C:\\B\\202611\\15\\plan_1000.dwg"));
}

// --now wins over the clock; without it the clock gives "now" in the machine's zone, and a
// clock that cannot be read is a usage error.
TEST_F(CleanupToolTest, MainTakesNowFromTheCommandLineElseFromTheClock) {
    struct Row {
        std::vector<std::wstring> args;
        bool clockWorks;
        int exit;
        std::wstring nowLine;
    };
    const std::vector<Row> rows = {
        {{L"C:\\B", L"--now", L"2027-01-01 00:30"}, true, 0, L"now:           2027-01-01 00:30"},
        {{L"C:\\B", L"--now", L"2027-01-01 00:30"}, false, 0, L"now:           2027-01-01 00:30"},
        {{L"C:\\B"}, true, 0, L"now:           2026-12-09 09:05"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Main(r.args, kNow, 0, r.clockWorks), r.exit) << r.nowLine;
        EXPECT_TRUE(Printed(r.nowLine)) << r.nowLine;
    }
    EXPECT_EQ(Main({L"C:\\B"}, kNow, 0, false), 2);
    EXPECT_EQ(errors, std::vector<std::wstring>{L"cannot read the clock; give the local time with --now"});
    EXPECT_TRUE(lines.empty());
    // At 2027-01-01 00:30 the copy stamped 00:00 that day is the newest, no longer a future one.
    Main({L"C:\\B", L"--now", L"2027-01-01 00:30", L"--keep-count", L"1"});
    EXPECT_TRUE(Printed(L"  2027-01-01 00:00  keep    newest             4 B  C:\\B\\2027\\01\\01\\plan_0000.dwg"));
    EXPECT_TRUE(Printed(L"  2026-12-08 13:00  remove  keep-count         4 B  C:\\B\\2026\\12\\08\\plan_1300.dwg"));
}

// Only copies the command line names are listed and may go: any of the drawings, with any of
// the extensions, both when both are given; names compare as the tree orders them.
TEST(CleanupFilterTest, DrawingAndExtNameWhatIsListedAndDeleted) {
    const std::wstring day = L"C:\\B\\2026\\12\\01\\";
    struct Row {
        std::vector<std::wstring> filters;
        std::wstring total;
        std::vector<std::wstring> removes;  // the older copy of each drawing named
    };
    const std::vector<Row> rows = {
        {{L"--drawing", L"plan.dwg"},
         L"total: 1 drawing, 2 copies (8 B); the rules remove 1 copy (4 B)",
         {L"plan_0800.dwg"}},
        {{L"--drawing", L"D:\\w\\PLAN.DWG"},
         L"total: 1 drawing, 2 copies (8 B); the rules remove 1 copy (4 B)",
         {L"plan_0800.dwg"}},
        {{L"--ext", L"dwg"},
         L"total: 2 drawings, 4 copies (16 B); the rules remove 2 copies (8 B)",
         {L"other_0800.dwg", L"plan_0800.dwg"}},
        {{L"--ext", L"dxf"}, L"total: 1 drawing, 2 copies (8 B); the rules remove 1 copy (4 B)", {L"site_0800.DXF"}},
        {{L"--ext", L"dxf", L"--ext", L".bak"},
         L"total: 2 drawings, 4 copies (16 B); the rules remove 2 copies (8 B)",
         {L"plan_0800.bak", L"site_0800.DXF"}},
        {{L"--drawing", L"plan.dwg", L"--drawing", L"site.dxf"},
         L"total: 2 drawings, 4 copies (16 B); the rules remove 2 copies (8 B)",
         {L"plan_0800.dwg", L"site_0800.DXF"}},
        {{L"--drawing", L"plan.dwg", L"--ext", L"bak"},
         L"total: 0 drawings, 0 copies (0 B); the rules remove 0 copies (0 B)",
         {}},
        {{L"--drawing", L"plan.bak", L"--drawing", L"other.dwg", L"--ext", L"bak"},
         L"total: 1 drawing, 2 copies (8 B); the rules remove 1 copy (4 B)",
         {L"plan_0800.bak"}},
    };
    for (const Row& r : rows) {
        MemoryTree tree;
        for (const wchar_t* name : {L"plan_0800.dwg", L"plan_0900.dwg", L"plan_0800.bak", L"plan_0900.bak",
                                    L"other_0800.dwg", L"other_0900.dwg", L"site_0800.DXF", L"site_0900.DXF"})
            tree.AddFile(day + name, "1234");
        CleanupOptions o;
        std::wstring error;
        std::vector<std::wstring> args = {L"C:\\B", L"--keep-count", L"1", L"--delete"};
        args.insert(args.end(), r.filters.begin(), r.filters.end());
        ASSERT_TRUE(ParseCleanupArgs(args, o, error)) << error;
        std::vector<std::wstring> lines;
        EXPECT_EQ(RunCleanup(
                      tree, o, CleanupNow{kNow, true, 0}, [&](const std::wstring& l) { lines.push_back(l); },
                      [](const std::wstring&) {}),
                  0);
        EXPECT_NE(std::find(lines.begin(), lines.end(), r.total), lines.end()) << r.total;
        std::vector<std::wstring> removes;
        for (const std::wstring& name : r.removes) removes.push_back(day + name);
        std::vector<std::wstring> done = tree.removes;
        std::sort(done.begin(), done.end());
        EXPECT_EQ(done, removes) << r.total;
    }
}

// Empty copies are listed as such, never deleted, and count for no rule: the newest copy is the
// newest with bytes in it, and keep-count counts only those.
TEST_F(CleanupToolTest, EmptyCopiesAreListedAndPlannedAround) {
    tree.nodes.clear();
    const std::wstring day = L"C:\\B\\2026\\12\\01\\";
    tree.AddFile(day + L"plan_0600.dwg", "");
    tree.AddFile(day + L"plan_0700.dwg", "1234");
    tree.AddFile(day + L"plan_0800.dwg", "12345");
    tree.AddFile(day + L"plan_0900.dwg", "");
    tree.AddFile(day + L"plan_1000.dwg", "");
    EXPECT_EQ(Run({L"C:\\B", L"--keep-count", L"1", L"--keep-days", L"1", L"--ext", L"dwg", L"--delete"}), 0);
    EXPECT_EQ(tree.removes, std::vector<std::wstring>{day + L"plan_0700.dwg"});
    const std::vector<std::wstring> listing(lines.begin() + 7, lines.begin() + 13);
    EXPECT_EQ(listing, (std::vector<std::wstring>{
                           L"plan.dwg: 5 copies",
                           L"  2026-12-01 06:00  keep    empty              0 B  C:\\B\\2026\\12\\01\\plan_0600.dwg",
                           L"  2026-12-01 07:00  remove  keep-count         4 B  C:\\B\\2026\\12\\01\\plan_0700.dwg",
                           L"  2026-12-01 08:00  keep    newest             5 B  C:\\B\\2026\\12\\01\\plan_0800.dwg",
                           L"  2026-12-01 09:00  keep    empty              0 B  C:\\B\\2026\\12\\01\\plan_0900.dwg",
                           L"  2026-12-01 10:00  keep    empty              0 B  C:\\B\\2026\\12\\01\\plan_1000.dwg",
                       }));
    EXPECT_TRUE(Printed(L"  keep 4 copies (5 B), remove 1 copy (4 B)"));
}

// The exit code of every way a run can end, through the whole tool.
TEST_F(CleanupToolTest, ExitCodes) {
    tree.AddFile(L"C:\\file.txt");
    struct Row {
        std::vector<std::wstring> args;
        int exit;
        std::wstring firstError;  // empty: none but the future-copy warning
    };
    const std::vector<Row> rows = {
        {{L"C:\\B"}, 0, L""},
        {{L"C:\\B", L"--keep-count", L"1", L"--ext", L"dwg", L"--delete"}, 0, L""},
        {{L"--help"}, 0, L""},
        {{L"C:\\B", L"--bogus"}, 2, L"unknown option: --bogus"},
        {{L"C:\\B", L"--delete"},
         2,
         L"--delete deletes only copies named by --drawing NAME or --ext EXT; give at least one"},
        {{L"C:\\B", L"--zone", L"+25:00"},
         2,
         L"--zone takes an offset from UTC, +hh:mm or -hh:mm (at most 14:00): +25:00"},
        {{L"C:\\missing"}, 3, L"cannot list the backup folder: C:\\missing"},
        {{L"C:\\file.txt"}, 3, L"cannot list the backup folder: C:\\file.txt"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Main(r.args), r.exit) << r.firstError;
        if (!r.firstError.empty()) {
            ASSERT_FALSE(errors.empty()) << r.firstError;
            EXPECT_EQ(errors.front(), r.firstError);
        } else {
            for (const std::wstring& e : errors) EXPECT_EQ(e, kFutureWarning);
        }
    }
    EXPECT_EQ(tree.removes.size(), 4u);  // the one row that deleted: all of plan.dwg but the newest and the future one

    tree.nodes[L"C:\\B\\2026\\12\\08\\plan_1300.dwg"].undeletable = true;
    tree.AddFile(L"C:\\B\\2026\\12\\08\\plan_1400.dwg", "1234");
    EXPECT_EQ(Main({L"C:\\B", L"--keep-count", L"1", L"--drawing", L"plan.dwg", L"--delete"}), 1);
    EXPECT_TRUE(Errored(L"could not delete C:\\B\\2026\\12\\08\\plan_1300.dwg"));
    tree.nodes[L"C:\\B\\2026\\12\\08\\plan_1300.dwg"].undeletable = false;
    tree.unlistable.insert(L"C:\\B\\2026\\12");
    EXPECT_EQ(Main({L"C:\\B"}), 1);
}

// "Now" is the clock's UTC in the zone of --zone, else of the machine; copies more than an hour
// ahead of it bring a warning that the zone may be wrong.
TEST_F(CleanupToolTest, ZoneMakesNowAndWarnsOfFarFutureCopies) {
    tree.nodes.clear();
    tree.AddFile(L"C:\\B\\2026\\12\\09\\plan_0800.dwg", "1234");
    tree.AddFile(L"C:\\B\\2026\\12\\09\\plan_0900.dwg", "1234");  // made at 09:00 in UTC+9
    const CivilStamp utc{2026, 12, 9, 0, 5};
    const std::wstring ahead = L"warning: 1 copy is stamped more than an hour after now ";
    struct Row {
        std::vector<std::wstring> args;
        int machineOffset;
        std::wstring nowLine, zoneLine;
        std::vector<std::wstring> errors;
    };
    const std::vector<Row> rows = {
        {{},
         0,
         L"now:           2026-12-09 00:05",
         L"zone:          +00:00 (this machine)",
         {L"warning: 2 copies are stamped more than an hour after now (2026-12-09 00:05) in this machine's "
          L"time zone "
          L"(+00:00); if the copies were made in another one (a file server often runs in UTC), give it with "
          L"--zone "
          L"+hh:mm"}},
        {{L"--zone", L"+09:00"}, 0, L"now:           2026-12-09 09:05", L"zone:          +09:00", {}},
        {{}, 540, L"now:           2026-12-09 09:05", L"zone:          +09:00 (this machine)", {}},
        {{L"--zone", L"+07:00"},
         540,
         L"now:           2026-12-09 07:05",
         L"zone:          +07:00",
         {ahead + L"(2026-12-09 07:05); check that --zone +07:00 is the time zone the copies were made in"}},
        {{L"--zone", L"+08:00"}, 0, L"now:           2026-12-09 08:05", L"zone:          +08:00", {}},  // 55 min
        {{L"--zone", L"-03:30"},
         540,
         L"now:           2026-12-08 20:35",
         L"zone:          -03:30",
         {L"warning: 2 copies are stamped more than an hour after now (2026-12-08 20:35); check that --zone -03:30 "
          L"is the time zone the copies were made in"}},
        {{L"--now", L"2026-12-09 07:59", L"--zone", L"+09:00"},
         0,
         L"now:           2026-12-09 07:59",
         L"zone:          +09:00",
         {ahead + L"(2026-12-09 07:59); check that --zone +09:00 is the time zone the copies were made in"}},
    };
    for (const Row& r : rows) {
        std::vector<std::wstring> args = {L"C:\\B"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        EXPECT_EQ(Main(args, utc, r.machineOffset), 0) << r.zoneLine;
        EXPECT_EQ(lines.at(3), r.nowLine);
        EXPECT_EQ(lines.at(4), r.zoneLine);
        EXPECT_EQ(errors, r.errors) << r.nowLine;
    }
}

// The POSIX build on a real tree: a symbolic link to a folder outside, named like a year,
// is never followed, and a dry run leaves every byte where it was.
class PosixCleanupTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vhcleanXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const char* rel :
             {"B/2026/11/01/plan_0800.dwg", "B/2026/11/01/plan_0900.dwg", "B/202611/15/plan_1000.dwg",
              "B/plan_202612081200.dwg", "outside/2025/01/01/plan_0800.dwg", "B/plan_20261201\xff.dwg"})
            Write(rel, rel);
        ASSERT_EQ(symlink((root_ + "/outside/2025").c_str(), (root_ + "/B/2025").c_str()), 0);
    }
    void TearDown() override {
        SetImmutable(root_ + "/B/2026/11/01", false);
        std::system(("rm -rf '" + root_ + "'").c_str());
    }
    // The file system's immutable flag, which refuses changes to root as well (ext4 and others).
    static bool SetImmutable(const std::string& path, bool on) {
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        const int saved = errno;
        close(fd);
        errno = saved;
        return ok;
    }
    void Write(const std::string& rel, const std::string& bytes) {
        const std::string path = root_ + "/" + rel;
        std::system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str());
        std::ofstream(path) << bytes;
    }
    // Every path below the root with its bytes (a link by where it points).
    std::string Snapshot(const std::string& dir = "") {
        std::ostringstream out;
        DIR* d = opendir((root_ + dir).c_str());
        if (!d) return "";
        std::vector<std::string> names;
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            const std::string rel = dir + "/" + n;
            struct stat st;
            lstat((root_ + rel).c_str(), &st);
            out << rel;
            if (S_ISDIR(st.st_mode)) {
                out << "/\n" << Snapshot(rel);
            } else if (S_ISLNK(st.st_mode)) {
                char target[512] = {};
                out << " -> " << std::string(target, readlink((root_ + rel).c_str(), target, sizeof target)) << "\n";
            } else {
                std::ifstream in(root_ + rel);
                out << " = " << std::string(std::istreambuf_iterator<char>(in), {}) << "\n";
            }
        }
        return out.str();
    }
    int Run(std::vector<std::wstring> args) {
        std::wstring folder;
        Utf8ToWide(root_ + "/B/", folder);
        args.insert(args.begin(), folder);
        CleanupOptions o;
        std::wstring error;
        EXPECT_TRUE(ParseCleanupArgs(args, o, error));
        PosixFileTree tree(folder);
        return RunIn(tree, o);
    }
    int RunIn(FileTree& tree, const CleanupOptions& o) {
        lines_.clear();
        errors_.clear();
        return RunCleanup(
            tree, o, CleanupNow{kNow, true, 0}, [this](const std::wstring& l) { lines_.push_back(l); },
            [this](const std::wstring& l) { errors_.push_back(l); });
    }
    std::wstring Wide(const std::string& rel) const {
        std::wstring w;
        Utf8ToWide(root_ + rel, w);
        return w;
    }
    std::string root_;
    std::vector<std::wstring> lines_, errors_;
};

TEST_F(PosixCleanupTest, DryRunChangesNothingAndDeleteOnlyThePlan) {
    const std::string before = Snapshot();
    EXPECT_EQ(Run({L"--keep-count", L"1", L"--thin-out"}), 0);
    EXPECT_EQ(Snapshot(), before);

    EXPECT_EQ(Run({L"--keep-count", L"1", L"--drawing", L"plan.dwg", L"--delete"}), 0);
    const std::string after = Snapshot();
    std::string expected = before;
    for (const char* gone : {"/B/2026/11/01/plan_0800.dwg = B/2026/11/01/plan_0800.dwg\n",
                             "/B/2026/11/01/plan_0900.dwg = B/2026/11/01/plan_0900.dwg\n",
                             "/B/202611/15/plan_1000.dwg = B/202611/15/plan_1000.dwg\n", "/B/2026/11/01/\n",
                             "/B/2026/11/\n", "/B/2026/\n", "/B/202611/15/\n", "/B/202611/\n"}) {
        const std::size_t at = expected.find(gone);
        ASSERT_NE(at, std::string::npos) << gone;
        expected.erase(at, std::strlen(gone));
    }
    EXPECT_EQ(after, expected);
    EXPECT_NE(after.find("/outside/2025/01/01/plan_0800.dwg"), std::string::npos);
    EXPECT_NE(after.find("/B/plan_202612081200.dwg"), std::string::npos);
}

// A delete the system refuses (here: an immutable day folder, which stops root too) is
// reported as failed, frees nothing and fails the run; the deletes that went through stay done.
TEST_F(PosixCleanupTest, DeleteTheSystemRefusesIsReportedAndFailsTheRun) {
    const std::string day = root_ + "/B/2026/11/01";
    if (!SetImmutable(day, true))
        GTEST_SKIP() << "cannot set the immutable flag on " << day << ": " << std::strerror(errno);
    EXPECT_EQ(Run({L"--keep-count", L"1", L"--ext", L"dwg", L"--delete"}), 1);
    SetImmutable(day, false);
    const std::wstring why = L": Operation not permitted";  // EPERM
    EXPECT_EQ(errors_, (std::vector<std::wstring>{L"could not delete " + Wide("/B/2026/11/01/plan_0800.dwg") + why,
                                                  L"could not delete " + Wide("/B/2026/11/01/plan_0900.dwg") + why}));
    EXPECT_EQ(lines_.back(), L"deleted 1 copy (25 B) and 2 emptied date folder(s); 2 could not be deleted");
    const std::string after = Snapshot();
    EXPECT_NE(after.find("/B/2026/11/01/plan_0800.dwg"), std::string::npos);
    EXPECT_NE(after.find("/B/2026/11/01/plan_0900.dwg"), std::string::npos);
    EXPECT_EQ(after.find("/B/202611/"), std::string::npos);
}

// Passes every call to a real tree; right before the delete of `at` it runs `swap` once.
class SwappingTree : public FileTree {
public:
    SwappingTree(FileTree& tree, std::wstring at, std::function<void()> swap)
        : tree_(tree), at_(std::move(at)), swap_(std::move(swap)) {}
    bool List(const std::wstring& folder, std::vector<TreeEntry>& out) override { return tree_.List(folder, out); }
    bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) override {
        return tree_.Stat(root, path, out);
    }
    bool DigestFile(const std::wstring& path, FileDigest& out) override { return tree_.DigestFile(path, out); }
    RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) override {
        if (path == at_ && swap_) {
            swap_();
            swap_ = nullptr;
        }
        return tree_.RemoveFile(root, path, seen);
    }
    bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) override {
        return tree_.RemoveEmptyFolder(root, path, seen);
    }
    wchar_t Separator() const override { return tree_.Separator(); }
    std::wstring LastErrorText() const override { return tree_.LastErrorText(); }

private:
    FileTree& tree_;
    std::wstring at_;
    std::function<void()> swap_;
};

// A day folder swapped for a link mid-run, to an outside folder whose files are hard links of
// the listed copies (same device, inode, size and time): nothing there or in the moved folder
// is deleted, the copy is reported as left alone, the rest of the plan goes ahead and the run fails.
TEST_F(PosixCleanupTest, DayFolderSwappedForALinkMidRunIsNotPassedThrough) {
    const std::string day = root_ + "/B/2026/11/01";
    Write("outside/11/01/keep.txt", "x");
    for (const char* name : {"/plan_0800.dwg", "/plan_0900.dwg"})
        ASSERT_EQ(link((day + name).c_str(), (root_ + "/outside/11/01" + name).c_str()), 0);
    PosixFileTree real(Wide("/B"));
    SwappingTree tree(real, Wide("/B/2026/11/01/plan_0900.dwg"), [&] {
        ASSERT_EQ(rename(day.c_str(), (root_ + "/aside").c_str()), 0);
        ASSERT_EQ(symlink((root_ + "/outside/11/01").c_str(), day.c_str()), 0);
    });
    CleanupOptions o;
    std::wstring error;
    ASSERT_TRUE(ParseCleanupArgs({Wide("/B"), L"--keep-count", L"1", L"--ext", L"dwg", L"--delete"}, o, error));
    EXPECT_EQ(RunIn(tree, o), 1);

    const std::string after = Snapshot();
    for (const char* kept : {"/outside/11/01/plan_0800.dwg = B/2026/11/01/plan_0800.dwg\n",
                             "/outside/11/01/plan_0900.dwg = B/2026/11/01/plan_0900.dwg\n",
                             "/outside/11/01/keep.txt = x\n", "/aside/plan_0900.dwg = B/2026/11/01/plan_0900.dwg\n"})
        EXPECT_NE(after.find(kept), std::string::npos) << kept;
    EXPECT_NE(after.find("/B/2026/11/01 -> " + root_ + "/outside/11/01\n"), std::string::npos);
    EXPECT_EQ(after.find("/aside/plan_0800.dwg"), std::string::npos);  // deleted before the swap
    EXPECT_EQ(after.find("/B/202611"), std::string::npos);             // deleted after it
    EXPECT_TRUE(errors_.empty());
    EXPECT_NE(std::find(lines_.begin(), lines_.end(),
                        L"left alone, changed since it was listed: " + Wide("/B/2026/11/01/plan_0900.dwg")),
              lines_.end());
    EXPECT_EQ(lines_.back(),
              L"deleted 2 copies (51 B) and 2 emptied date folder(s); 0 could not be deleted; 1 "
              L"changed since listed, left alone");
}

// A delete goes through only for the very file it was shown (device and inode, size, time),
// reached through real folders: a folder on the way that is missing finds it gone, one that is
// no longer a real folder finds it changed; nothing is deleted then.
TEST_F(PosixCleanupTest, RemoveFileDeletesOnlyTheFileItWasShown) {
    struct Row {
        std::string dir;  // below B: holds d/copy.dwg
        std::function<void(const std::string& dir)> change;
        RemoveOutcome outcome;
        std::string after;  // Snapshot of the dir
    };
    const auto aside = [](const std::string& dir) {
        ASSERT_EQ(rename((dir + "/d").c_str(), (dir + "/aside").c_str()), 0);
    };
    const std::vector<Row> rows = {
        {"same", nullptr, RemoveOutcome::Removed, "/B/same/d/\n"},
        {"replaced",
         [](const std::string& dir) {
             // Another file of the same size and time renamed over the copy.
             const std::string copy = dir + "/d/copy.dwg", other = dir + "/other";
             std::ofstream(other) << "COPY";
             struct stat st;
             ASSERT_EQ(lstat(copy.c_str(), &st), 0);
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
             ASSERT_EQ(rename(other.c_str(), copy.c_str()), 0);
         },
         RemoveOutcome::Changed, "/B/replaced/d/\n/B/replaced/d/copy.dwg = COPY\n"},
        {"gone", aside, RemoveOutcome::Gone, "/B/gone/aside/\n/B/gone/aside/copy.dwg = copy\n"},
        {"file",
         [&](const std::string& dir) {
             aside(dir);
             std::ofstream(dir + "/d") << "x";
         },
         RemoveOutcome::Changed, "/B/file/aside/\n/B/file/aside/copy.dwg = copy\n/B/file/d = x\n"},
        {"link",
         [&](const std::string& dir) {
             aside(dir);
             ASSERT_EQ(symlink("aside", (dir + "/d").c_str()), 0);
         },
         RemoveOutcome::Changed, "/B/link/aside/\n/B/link/aside/copy.dwg = copy\n/B/link/d -> aside\n"},
    };
    PosixFileTree tree(Wide("/B"));
    for (const Row& r : rows) {
        Write("B/" + r.dir + "/d/copy.dwg", "copy");
        TreeEntry seen;
        ASSERT_TRUE(tree.Stat(Wide("/B"), Wide("/B/" + r.dir + "/d/copy.dwg"), seen)) << r.dir;
        if (r.change) r.change(root_ + "/B/" + r.dir);
        EXPECT_EQ(tree.RemoveFile(Wide("/B"), Wide("/B/" + r.dir + "/d/copy.dwg"), seen), r.outcome) << r.dir;
        EXPECT_EQ(Snapshot("/B/" + r.dir), r.after) << r.dir;
    }
}

// A name with a line break in a day folder is no copy, so it can never add a line to the plan.
TEST_F(PosixCleanupTest, NameWithALineBreakIsNotListed) {
    Write("B/2026/11/01/plan_0700.dwg\n  2026-11-01 06:00  keep    newest", "x");
    Write("B/2026/11/01/plan_07\n00.dwg", "x");
    EXPECT_EQ(Run({L"--keep-count", L"1"}), 0);
    EXPECT_NE(std::find(lines_.begin(), lines_.end(), L"plan.dwg: 4 copies"), lines_.end());
    for (const std::wstring& line : lines_) EXPECT_EQ(line.find(L'\n'), std::wstring::npos) << line.size();
    EXPECT_EQ(std::count_if(lines_.begin(), lines_.end(),
                            [](const std::wstring& l) { return l.find(L"plan_07") != std::wstring::npos; }),
              0);
}

// A backup folder that is a link to a folder is followed; one that is missing or a file ends
// the run with exit code 3 and the system's reason.
TEST_F(PosixCleanupTest, BackupFolderThroughALinkOrMissing) {
    ASSERT_EQ(symlink((root_ + "/B").c_str(), (root_ + "/L").c_str()), 0);
    struct Row {
        std::string folder;
        int exit;
        std::vector<std::wstring> errors;
    };
    const std::vector<Row> rows = {
        {"/L", 0, {}},
        {"/L/", 0, {}},
        {"/missing", 3, {L"cannot list the backup folder: " + Wide("/missing") + L": No such file or directory"}},
        {"/B/plan_202612081200.dwg",
         3,
         {L"cannot list the backup folder: " + Wide("/B/plan_202612081200.dwg") + L": Not a directory"}},
    };
    for (const Row& r : rows) {
        const std::vector<std::wstring> args = {Wide(r.folder), L"--now", L"2026-12-09 09:05", L"--zone", L"+00:00"};
        PosixFileTree tree = PosixTreeFor(args);
        lines_.clear();
        errors_.clear();
        const int exit = CleanupMain(
            args, tree, [](ClockReading&) { return false; }, [this](const std::wstring& l) { lines_.push_back(l); },
            [this](const std::wstring& l) { errors_.push_back(l); });
        EXPECT_EQ(exit, r.exit) << r.folder;
        EXPECT_EQ(errors_, r.errors) << r.folder;
        if (r.exit == 0) {
            EXPECT_NE(std::find(lines_.begin(), lines_.end(), L"plan.dwg: 4 copies"), lines_.end()) << r.folder;
        }
    }
}

// The clock's zone is the machine's, east of UTC positive.
TEST(PosixClockTest, ReadsTheZonesOffsetFromUtc) {
    const char* const was = std::getenv("TZ");
    const std::string saved = was ? was : "";
    const struct Row {
        const char* tz;
        int offset;
    } rows[] = {{"KST-9", 540}, {"EST5", -300}, {"IST-5:30", 330}, {"UTC0", 0}};
    for (const Row& r : rows) {
        setenv("TZ", r.tz, 1);
        tzset();
        ClockReading reading;
        EXPECT_TRUE(ReadPosixClock(reading)) << r.tz;
        EXPECT_EQ(reading.offsetMinutes, r.offset) << r.tz;
    }
    if (was)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Utf8Test, ConvertsStrictly) {
    std::wstring w;
    ASSERT_TRUE(Utf8ToWide("도면 plan", w));
    EXPECT_EQ(w, L"도면 plan");
    std::string back;
    ASSERT_TRUE(WideToUtf8(w, back));
    EXPECT_EQ(back, "도면 plan");
    for (const char* bad : {"\xff", "\xc3", "\xe0\x80\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "a\x80"})
        EXPECT_FALSE(Utf8ToWide(bad, w)) << bad;
}

}  // namespace
