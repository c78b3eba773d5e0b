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
#include <sstream>

#include "MemoryTree.h"
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
        {{L"--delete"}, noFilter},
        {{L"--delete", L"--keep-count", L"3", L"--thin-out"}, noFilter},
        {{L"--delete", L"--drawing", L"plan.dwg"}, L"", {L"plan.dwg"}, {}},
        {{L"--delete", L"--ext", L"dwg"}, L"", {}, {L"dwg"}},
        {{L"--ext", L".DWG", L"--ext", L"bak"}, L"", {}, {L"DWG", L"bak"}},
        {{L"--drawing", L"a.dwg", L"--ext", L"dxf", L"--drawing", L"D:\\w\\b.dxf", L"--delete"},
         L"",
         {L"a.dwg", L"D:\\w\\b.dxf"},
         {L"dxf"}},
        {{L"--ext", L""}, L"not an extension (such as dwg): "},
        {{L"--ext", L"."}, L"not an extension (such as dwg): ."},
        {{L"--ext", L"d.wg"}, L"not an extension (such as dwg): d.wg"},
        {{L"--ext", L"dw/g"}, L"not an extension (such as dwg): dw/g"},
        {{L"--ext", L"dwg\n"}, L"not an extension (such as dwg): dwg?"},
        {{L"--ext"}, L"--ext needs a value"},
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

// Only the deletes that went through count as freed; the rest are named and make the run fail.
TEST(CleanupToolFreedTest, CountsOnlyTheDeletesThatSucceeded) {
    MemoryTree tree;
    tree.AddFile(L"C:\\B\\2026\\12\\01\\plan_0800.dwg", "a");
    tree.AddFile(L"C:\\B\\2026\\12\\01\\plan_0900.dwg", "bb");
    tree.AddFile(L"C:\\B\\2026\\12\\01\\plan_1000.dwg", "cccc");
    tree.AddFile(L"C:\\B\\2026\\12\\01\\plan_1100.dwg", "dddddddd");
    tree.nodes[L"C:\\B\\2026\\12\\01\\plan_0900.dwg"].undeletable = true;
    CleanupOptions o;
    std::wstring error;
    ASSERT_TRUE(ParseCleanupArgs({L"C:\\B", L"--keep-count", L"1", L"--ext", L"dwg", L"--delete"}, o, error));
    std::vector<std::wstring> lines;
    EXPECT_EQ(RunCleanup(
                  tree, o, CleanupNow{kNow, true, 0}, [&](const std::wstring& l) { lines.push_back(l); },
                  [](const std::wstring&) {}),
              1);
    EXPECT_EQ(lines.back(), L"deleted 2 copies (5 B) and 0 emptied date folder(s); 1 could not be deleted");
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
