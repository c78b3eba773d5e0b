// The Win32 file tree on Wine's real file system: identities from the listing, deletes bound
// to what was seen, and no link passed through below the backup folder. The journal's store
// reading a long file in runs.
#include <gtest/gtest.h>

#include <windows.h>

#include "WinTestUtil.h"
#include "backup/BackupPath.h"
#include "backup/FileTreeWin32.h"
#include "backup/JournalWin32.h"
#include "backup/RecoveryWin32.h"

namespace {

FileIdentity IdentityOf(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return FileIdentity{info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

TEST(Win32FileTreeTest, ListsWithIdentitiesAndDeletesOnlyTheFileItSaw) {
    ScratchDir root;
    const std::wstring day = root / L"09", copy = day + L"\\plan_0900.dwg", other = day + L"\\plan_0910.dwg";
    ASSERT_TRUE(CreateDirectoryW(day.c_str(), nullptr));
    WriteFileBytes(copy, "1234");
    WriteFileBytes(other, "5678");
    Win32FileTree tree;
    std::vector<TreeEntry> entries;
    ASSERT_TRUE(tree.List(root.path(), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, EntryKind::Directory);
    EXPECT_EQ(entries[0].id, IdentityOf(day));
    ASSERT_TRUE(tree.List(day, entries));
    ASSERT_EQ(entries.size(), 2u);
    TreeEntry seen = entries[0].name == L"plan_0900.dwg" ? entries[0] : entries[1];
    EXPECT_EQ(seen.size, 4u);
    EXPECT_TRUE(seen.id.Known());
    EXPECT_EQ(seen.id, IdentityOf(copy));
    TreeEntry stat;
    ASSERT_TRUE(tree.Stat(root.path(), copy, stat));
    EXPECT_EQ(stat.id, seen.id);
    EXPECT_EQ(stat.writeTime, seen.writeTime);
    EXPECT_EQ(stat.size, seen.size);
    EXPECT_EQ(tree.FolderIndexes(root.path(), copy, 1), std::vector<uint64_t>{IdentityOf(day).index});

    // Replaced by another file of the same size since it was seen (saved beside, moved over it):
    // left alone.
    WriteFileBytes(copy + L".tmp", "abcd");
    ASSERT_TRUE(MoveFileExW((copy + L".tmp").c_str(), copy.c_str(), MOVEFILE_REPLACE_EXISTING));
    TreeEntry now;
    ASSERT_TRUE(tree.Stat(root.path(), copy, now));
    seen.writeTime = now.writeTime;  // even with the same size and time, another file is another file
    EXPECT_EQ(tree.RemoveFile(root.path(), copy, seen), RemoveOutcome::Changed);
    EXPECT_EQ(ReadFileBytes(copy), "abcd");
    EXPECT_EQ(tree.RemoveFile(root.path(), copy, now), RemoveOutcome::Removed);
    EXPECT_FALSE(PathExists(copy));
    EXPECT_EQ(tree.RemoveFile(root.path(), copy, now), RemoveOutcome::Gone);
    // A folder goes only when empty, and only if it is the one seen.
    EXPECT_FALSE(tree.RemoveEmptyFolder(root.path(), day, IdentityOf(day)));
    ASSERT_TRUE(tree.Stat(root.path(), other, now));
    EXPECT_EQ(tree.RemoveFile(root.path(), other, now), RemoveOutcome::Removed);
    EXPECT_FALSE(tree.RemoveEmptyFolder(root.path(), day, FileIdentity{1, 12345}));
    EXPECT_TRUE(tree.RemoveEmptyFolder(root.path(), day, IdentityOf(day)));
    EXPECT_FALSE(PathExists(day));
    EXPECT_FALSE(tree.RemoveEmptyFolder(root.path(), root.path(), FileIdentity{}));  // never the root
}

// A copy held from its look: the same figures as by path; while held, neither it nor a folder
// on its way can be renamed away or replaced; it goes through the hold only while it still is
// what was seen, and then its emptied folders go, the root never.
TEST(Win32FileTreeTest, AHeldCopyStaysThePathsUntilItIsDeletedThroughTheHold) {
    ScratchDir root;
    const std::wstring month = root / L"12", day = month + L"\\09", copy = day + L"\\plan_0900.dwg";
    ASSERT_TRUE(CreateDirectoryW(month.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(day.c_str(), nullptr));
    WriteFileBytes(copy, "1234");
    Win32FileTree tree;
    TreeEntry byPath, seen;
    FileDigest digest, held;
    ASSERT_TRUE(tree.Stat(root.path(), copy, byPath));
    ASSERT_TRUE(tree.DigestFile(copy, digest));
    {
        const std::unique_ptr<HeldCopy> hold = tree.Hold(root.path(), copy);
        ASSERT_TRUE(hold->Look(seen));
        EXPECT_EQ(seen.id, byPath.id);
        EXPECT_EQ(seen.size, 4u);
        EXPECT_EQ(seen.writeTime, byPath.writeTime);
        EXPECT_EQ(hold->FolderIndexes(2), (std::vector<uint64_t>{IdentityOf(month).index, IdentityOf(day).index}));
        ASSERT_TRUE(hold->Digest(held));
        EXPECT_TRUE(held == digest);
        EXPECT_FALSE(MoveFileExW(copy.c_str(), (root / L"moved.dwg").c_str(), 0));
        EXPECT_FALSE(MoveFileExW(day.c_str(), (month + L"\\10").c_str(), 0));
        EXPECT_FALSE(MoveFileExW(month.c_str(), (root / L"11").c_str(), 0));
        TreeEntry changed = seen;
        ++changed.writeTime;
        EXPECT_EQ(hold->Remove(changed), RemoveOutcome::Changed);
    }
    // Its folder held open for deleting by someone else: not taken for gone, tried again later.
    const HANDLE other = CreateFileW(day.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tree.RemoveFile(root.path(), copy, seen), RemoveOutcome::Failed);
    CloseHandle(other);
    EXPECT_EQ(ReadFileBytes(copy), "1234");
    const std::unique_ptr<HeldCopy> hold = tree.Hold(root.path(), copy);
    ASSERT_TRUE(hold->Look(seen));
    EXPECT_EQ(hold->Remove(seen), RemoveOutcome::Removed);
    EXPECT_FALSE(PathExists(copy));
    EXPECT_FALSE(hold->RemoveEmptyFolder(day, FileIdentity{1, 12345}));
    EXPECT_TRUE(hold->RemoveEmptyFolder(day, IdentityOf(day)));
    EXPECT_TRUE(hold->RemoveEmptyFolder(month, IdentityOf(month)));
    EXPECT_FALSE(PathExists(month));
    EXPECT_FALSE(hold->RemoveEmptyFolder(root.path(), FileIdentity{}));
}

// A folder made for the copy is held ready to be removed through the hold, and only if it is
// the folder recorded and empty; where another holds it already, it is held as the others and
// removed by opening it again. Where another held the copy itself (so that it is deleted by
// path), the folder does not stand in the way.
TEST(Win32FileTreeTest, ANewFolderIsRemovedThroughItsHold) {
    ScratchDir root;
    const std::wstring day = root / L"09", copy = day + L"\\plan_0900.dwg", note = day + L"\\note.txt";
    const auto openShared = [](const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };
    struct Case {
        bool folderHeld, copyHeld;  // by another, without sharing deletion, when the hold begins
        bool noteBeside;            // someone else's file beside the copy
        bool otherIdentity;         // the folder recorded was another
        bool removed;
    };
    for (const Case c : {Case{false, false, false, false, true}, Case{true, false, false, false, true},
                         Case{false, true, false, false, true}, Case{false, false, true, false, false},
                         Case{false, false, false, true, false}}) {
        ASSERT_TRUE(CreateDirectoryW(day.c_str(), nullptr));
        WriteFileBytes(copy, "1234");
        if (c.noteBeside) WriteFileBytes(note, "mine");
        const FileIdentity id = c.otherIdentity ? IdentityOf(root.path()) : IdentityOf(day);
        const HANDLE other = c.folderHeld ? openShared(day) : c.copyHeld ? openShared(copy) : INVALID_HANDLE_VALUE;
        Win32FileTree tree;
        TreeEntry seen;
        const std::unique_ptr<HeldCopy> hold = tree.Hold(root.path(), copy, true);
        ASSERT_TRUE(hold->Look(seen));
        // Held for deleting, it cannot be opened without sharing deletion meanwhile.
        const HANDLE probe = openShared(day);
        EXPECT_EQ(probe == INVALID_HANDLE_VALUE, !c.folderHeld);
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
        EXPECT_EQ(hold->Remove(seen), RemoveOutcome::Removed);
        EXPECT_EQ(hold->RemoveEmptyFolder(day, id), c.removed);
        EXPECT_EQ(PathExists(day), !c.removed);
        EXPECT_EQ(PathExists(note), c.noteBeside);
        DeleteFileW(note.c_str());
        RemoveDirectoryW(day.c_str());
    }
}

// Made from the Linux side by tools/make-link-fixture.sh: below the backup folder, "2023" is a
// link to a folder outside it that holds what would be a copy.
TEST(Win32FileTreeTest, NothingIsReachedThroughALinkBelowTheRoot) {
    const std::wstring root = L"C:\\vh_linked\\backup", through = root + L"\\2023\\01\\01\\plan_0800.dwg";
    const std::wstring outside = L"C:\\vh_linked\\outside\\2023\\01\\01\\plan_0800.dwg";
    ASSERT_TRUE(PathExists(outside)) << "the linked tree is missing";
    Win32FileTree tree;
    TreeEntry seen;
    EXPECT_FALSE(tree.Stat(root, through, seen));
    ASSERT_TRUE(tree.Stat(L"C:\\vh_linked\\outside", outside, seen));
    EXPECT_EQ(tree.RemoveFile(root, through, seen), RemoveOutcome::Changed);  // not gone: in another tree
    EXPECT_EQ(tree.RemoveFile(root, root + L"\\2024\\01\\01\\plan_0800.dwg", seen), RemoveOutcome::Gone);
    EXPECT_FALSE(tree.Hold(root, through)->Look(seen));
    EXPECT_FALSE(tree.RemoveEmptyFolder(root, root + L"\\2023\\01\\01", FileIdentity{}));
    EXPECT_EQ(ReadFileBytes(outside), "outside");
    std::vector<TreeEntry> entries;
    ASSERT_TRUE(tree.List(root, entries));
    for (const TreeEntry& e : entries)
        if (e.name == L"2023") EXPECT_EQ(e.kind, EntryKind::Other);
}

// The fold that keys the journal's index agrees with the system's comparison for every code
// unit: each is the same name as its fold, and folding twice changes nothing.
TEST(SystemNameFoldTest, EveryCodeUnitIsTheSameNameAsItsFold) {
    const auto Folded = [](std::wstring name) {
        SystemNameFold(name);
        return name;
    };
    int differ = 0;
    for (uint32_t u = 1; u <= 0xFFFF; ++u) {
        const std::wstring c(1, static_cast<wchar_t>(u));
        const std::wstring folded = Folded(c);
        if (SystemNameOrder(c, folded) != 0 || Folded(folded) != folded) ++differ;
    }
    EXPECT_EQ(differ, 0);
    // Kept apart by the system, and so by the fold; and folded together where it folds them.
    EXPECT_NE(Folded(L"c\u0131ty.dwg"), Folded(L"c\u0130ty.dwg"));
    EXPECT_EQ(Folded(L"D:\\\u00e9t\u1ea1.dwg"), Folded(L"d:\\\u00c9T\u1ea0.DWG"));
}

// Lines cut by the end of the store's buffer, a line longer than the buffer and a torn tail
// read as one whole reading would; the torn tail is read once it is complete.
TEST(Win32JournalStoreTest, ALongJournalReadInRunsReadsAsAWholeReading) {
    ScratchDir dir;
    const std::wstring path = dir / L"backup-journal.txt";
    const auto line = [](int i) {
        JournalRecord r;
        r.path = L"C:\\Backup\\2026\\12\\09\\평면도_" + std::to_wstring(1000 + i) + L".dwg";
        r.drawing = L"D:\\A\\평면도.dwg";
        r.stamp = CivilStamp{2026, 12, 9, 10, 0};
        r.size = static_cast<uint64_t>(i) + 1;
        r.writeTime = 134093154000000000u;
        r.id = FileIdentity{0x1a2b, 0x10000u + static_cast<uint64_t>(i)};
        r.folderIndexes = {51, 52, 53};
        std::string text;
        EXPECT_TRUE(FormatJournalLine(r, text));
        return text;
    };
    std::string text;
    const int copies = 3000;  // about 500 KB: several runs
    for (int i = 0; i < copies - 1; ++i) {
        text += line(i);
        if (i == copies / 2) text += std::string(3 * Win32JournalStore::kRunBytes, 'x') + "\n";  // counts for nothing
    }
    const std::string last = line(copies - 1);
    WriteFileBytes(path, text + last.substr(0, 40));
    Win32JournalStore store(path);
    Journal journal(store, SystemNameOrder, SystemNameFold);
    ASSERT_TRUE(journal.Refresh());
    EXPECT_EQ(journal.Lines(), static_cast<std::size_t>(copies - 1));
    for (int i = 0; i < copies - 1; ++i) {
        const std::optional<Journal::Entry> e =
            journal.Find(L"C:\\Backup\\2026\\12\\09\\평면도_" + std::to_wstring(1000 + i) + L".dwg");
        ASSERT_TRUE(e.has_value()) << i;
        EXPECT_EQ(e->record.size, static_cast<uint64_t>(i) + 1);
    }
    WriteFileBytes(path, text + last);
    ASSERT_TRUE(journal.Refresh());
    EXPECT_EQ(journal.Lines(), static_cast<std::size_t>(copies));
    EXPECT_EQ(journal.LiveCount(), static_cast<std::size_t>(copies));
}

// Another process's rewrite, moved into place, is read again from its start, also where it is
// longer than what was read before (so known by the file, not by its size).
TEST(Win32JournalStoreTest, ARewriteMovedIntoPlaceIsReadAgainFromItsStart) {
    ScratchDir dir;
    const std::wstring path = dir / L"backup-journal.txt";
    WriteFileBytes(path, "one\n");
    Win32JournalStore reader(path), writer(path);
    std::string out;
    bool restarted = true, created = true;
    ASSERT_TRUE(reader.ReadNew(out, restarted));
    EXPECT_EQ(out, "one\n");
    EXPECT_FALSE(restarted);
    ASSERT_TRUE(writer.Replace("two\nthree\n"));
    ASSERT_TRUE(reader.ReadNew(out, restarted));
    EXPECT_TRUE(restarted);
    EXPECT_EQ(out, "two\nthree\n");
    ASSERT_TRUE(writer.Replace("four\nfive\nsix\n"));
    ASSERT_TRUE(reader.Lock());
    const bool appended = reader.ReadNewThenAppend("seven\n", out, restarted, created);
    reader.Unlock();  // the file is closed with the lock
    ASSERT_TRUE(appended);
    EXPECT_TRUE(restarted);
    EXPECT_FALSE(created);
    EXPECT_EQ(out, "four\nfive\nsix\n");
    EXPECT_EQ(ReadFileBytes(path), "four\nfive\nsix\nseven\n");
}

// A rewrite that keeps the file's index (ext4 hands a freed inode out again; here the file is
// rewritten in place) is still read again from its start, by either way of reading.
TEST(Win32JournalStoreTest, ARewriteWithTheSameIndexIsReadAgainFromItsStart) {
    ScratchDir dir;
    const std::wstring path = dir / L"backup-journal.txt";
    const std::string first = "first line, its checksum 1111aaaa\n";
    WriteFileBytes(path, first);
    Win32JournalStore reader(path);
    std::string out;
    bool restarted = false, created = false;
    ASSERT_TRUE(reader.ReadNew(out, restarted));
    ASSERT_EQ(out, first);
    const std::string rewrite = "other line, its checksum 2222bbbb\nand one more line 3333cccc\n";
    WriteFileBytes(path, rewrite);  // CREATE_ALWAYS truncates the same file
    ASSERT_TRUE(reader.ReadNew(out, restarted));
    EXPECT_TRUE(restarted);
    EXPECT_EQ(out, rewrite);
    const std::string again = "a third writing, longer than both before it 4444dddd\nand its end 5555eeee\n";
    WriteFileBytes(path, again);
    ASSERT_TRUE(reader.Lock());
    const bool appended = reader.ReadNewThenAppend("appended 6666ffff\n", out, restarted, created);
    reader.Unlock();
    ASSERT_TRUE(appended);
    EXPECT_TRUE(restarted);
    EXPECT_EQ(out, again);
    // What it appended itself is no rewrite.
    ASSERT_TRUE(reader.ReadNew(out, restarted));
    EXPECT_FALSE(restarted);
    EXPECT_EQ(out, "");
}

// Each way of appending closes off a torn last line so that it stays torn, and the lines
// appended after it count.
TEST(Win32JournalStoreTest, AppendsCloseOffATornLastLineAndTheirOwnLinesCount) {
    JournalRecord reported;
    reported.kind = JournalRecord::Kind::Reported;
    reported.session = SessionId{42, 134093100000000000u};
    std::string line;
    ASSERT_TRUE(FormatJournalLine(reported, line));
    std::string whole;
    JournalRecord end = reported;
    end.kind = JournalRecord::Kind::End;
    ASSERT_TRUE(FormatJournalLine(end, whole));
    whole.pop_back();  // a line that lost only its LF
    for (const bool throughRead : {false, true}) {
        SCOPED_TRACE(throughRead ? "read, then append" : "append");
        ScratchDir dir;
        const std::wstring path = dir / L"backup-journal.txt";
        WriteFileBytes(path, whole);
        Win32JournalStore writer(path);
        bool created = true, restarted = false;
        std::string out;
        ASSERT_TRUE(writer.Lock());
        const bool appended =
            throughRead ? writer.ReadNewThenAppend(line, out, restarted, created) : writer.Append(line, created);
        writer.Unlock();
        ASSERT_TRUE(appended);
        EXPECT_EQ(ReadFileBytes(path), whole + kTornLineEnd + line);
        Win32JournalStore store(path);
        Journal journal(store, SystemNameOrder, SystemNameFold);
        ASSERT_TRUE(journal.Refresh());
        EXPECT_EQ(journal.Lines(), 1u);  // the reported line alone
    }
}

// A copy rewritten in place (the same file, another size) is not the copy that was seen, even
// where its write time is set back to the one seen.
TEST(Win32FileTreeTest, ACopyRewrittenInPlaceToAnotherSizeIsLeftAlone) {
    ScratchDir root;
    const std::wstring copy = root / L"plan_202612090900.dwg";
    WriteFileBytes(copy, "1234");
    Win32FileTree tree;
    TreeEntry seen, now;
    ASSERT_TRUE(tree.Stat(root.path(), copy, seen));
    HANDLE file =
        CreateFileW(copy.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "123456", 6, &written, nullptr));
    const FILETIME time{static_cast<DWORD>(seen.writeTime), static_cast<DWORD>(seen.writeTime >> 32)};
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
    ASSERT_TRUE(tree.Stat(root.path(), copy, now));
    ASSERT_EQ(now.id, seen.id);
    ASSERT_EQ(now.writeTime, seen.writeTime);
    EXPECT_EQ(tree.RemoveFile(root.path(), copy, seen), RemoveOutcome::Changed);
    EXPECT_EQ(ReadFileBytes(copy), "123456");
}

// Made from the Linux side by tools/make-link-fixture.sh: R: and \\varnholt-nas\backup. A root
// given as the backup folder is listed itself, trimmed as targets are composed ("R:"), even
// where the current folder on that drive holds other copies.
TEST(Win32FileTreeTest, ADriveOrShareRootIsListedItselfNotTheCurrentFolderThere) {
    wchar_t before[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, before);
    DrawingKey key;
    ASSERT_TRUE(DrawingKeyOfPath(L"D:\\A\\plan.dwg", key));
    for (const std::wstring root : {L"R:\\", L"\\\\varnholt-nas\\backup\\"}) {
        SCOPED_TRACE(Utf8(root));
        ASSERT_TRUE(IsDirectory(root)) << "the fixture is missing: run tools/make-link-fixture.sh in the prefix first";
        const std::wstring folder = TrimFolder(root);
        const std::vector<std::wstring> inRoot{folder + L"\\plan_202612091400.dwg",
                                               folder + L"\\plan_202612091410.dwg"};
        for (const std::wstring& p : inRoot) WriteFileBytes(p, "copy");
        CreateDirectoryW((root + L"old").c_str(), nullptr);
        WriteFileBytes(root + L"old\\plan_202612091420.dwg", "elsewhere");
        SetCurrentDirectoryW((root + L"old").c_str());
        Win32FileTree tree;
        ScanStats stats;
        std::vector<std::wstring> found;
        for (const BackupCopy& c : ScanCopies(tree, folder, &key, &stats)) found.push_back(c.path);
        SetCurrentDirectoryW(before);
        EXPECT_TRUE(stats.listed);
        EXPECT_EQ(found, inRoot);
        for (const std::wstring& p : inRoot) DeleteFileW(p.c_str());
        DeleteFileW((root + L"old\\plan_202612091420.dwg").c_str());
        RemoveDirectoryW((root + L"old").c_str());
    }
}

// Whether a session's process still runs: this one does; one of its id created at another time
// (the id used again) does not, nor one that has exited while a handle to it is held.
TEST(RecoveryWin32Test, ASessionIsOverUnlessItsProcessOfThatCreationTimeStillRuns) {
    const SessionId self = CurrentSession();
    ASSERT_TRUE(self.Known());
    EXPECT_FALSE(SessionOver(self));
    EXPECT_TRUE(SessionOver(SessionId{self.pid, self.created + 1}));
    EXPECT_TRUE(SessionOver(SessionId{self.pid, self.created - 1}));
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    wchar_t line[] = L"cmd.exe /c exit 0";
    ASSERT_TRUE(
        CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &start, &child));
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 30000), WAIT_OBJECT_0);
    FILETIME created, exited, kernel, user;
    ASSERT_TRUE(GetProcessTimes(child.hProcess, &created, &exited, &kernel, &user));
    const SessionId ended{child.dwProcessId, uint64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime};
    EXPECT_TRUE(SessionOver(ended));  // opened still: this test holds a handle to it
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

// The copy a notice names is the journaled file, not empty, and its first 4 KiB are not all
// zero bytes.
TEST(RecoveryWin32Test, AGoodCopyIsTheJournaledFileAndNotZeroFilled) {
    ScratchDir root;
    const std::wstring copy = root / L"plan_202612091430.dwg";
    std::string bytes(8192, '\0');
    const auto recordOf = [&](const std::wstring& path) {
        Win32FileTree tree;
        TreeEntry seen;
        EXPECT_TRUE(tree.Stat(root.path(), path, seen));
        JournalRecord r;
        r.path = path;
        r.size = seen.size;
        r.writeTime = seen.writeTime;
        r.id = seen.id;
        return r;
    };
    WriteFileBytes(copy, bytes);
    EXPECT_FALSE(CopyGoodNow(recordOf(copy)));  // as a power cut leaves it
    bytes[4095] = 'x';
    WriteFileBytes(copy, bytes);
    const JournalRecord good = recordOf(copy);
    EXPECT_TRUE(CopyGoodNow(good));
    // Another file of the same bytes and write time in its place.
    ASSERT_TRUE(DeleteFileW(copy.c_str()));
    WriteFileBytes(root / L"keep", "x");  // so that the new file does not get the old one's index back
    WriteFileBytes(copy, bytes);
    HANDLE file = CreateFileW(copy.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME time{static_cast<DWORD>(good.writeTime), static_cast<DWORD>(good.writeTime >> 32)};
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
    const JournalRecord other = recordOf(copy);
    ASSERT_NE(other.id, good.id);
    ASSERT_EQ(other.writeTime, good.writeTime);
    EXPECT_FALSE(CopyGoodNow(good));
    EXPECT_TRUE(CopyGoodNow(other));
    JournalRecord resized = other;
    resized.size = 8191;
    EXPECT_FALSE(CopyGoodNow(resized));
}

// Made from the Linux side by tools/make-link-fixture.sh: a folder holding a link to a folder
// and one to a file outside it. The tests' clean-up removes the links, not what they point to.
TEST(TestCleanUpTest, RemovesLinksWithoutFollowingThem) {
    const std::wstring scratch = L"C:\\vh_linked\\scratch";
    ASSERT_TRUE(PathExists(scratch + L"\\inside\\folder-link")) << "the linked tree is missing";
    RemoveTree(scratch + L"\\inside");
    EXPECT_FALSE(PathExists(scratch + L"\\inside"));
    EXPECT_EQ(ReadFileBytes(scratch + L"\\target\\file.txt"), "kept");
    EXPECT_EQ(ReadFileBytes(scratch + L"\\target.txt"), "kept");
}

}  // namespace
