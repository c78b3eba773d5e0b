#include <gtest/gtest.h>

#include "MemoryJournal.h"
#include "backup/Journal.h"

namespace {

JournalRecord Made(const std::wstring& path, int minute, const std::wstring& drawing = L"D:\\A\\평면도.dwg") {
    JournalRecord r;
    r.path = path;
    r.drawing = drawing;
    r.stamp = CivilStamp{2026, 12, 9, 14, minute};
    r.size = 8388608;
    r.writeTime = 134093154000000000u;
    r.id = FileIdentity{0x1a2b3c4d, 0x10000000000abcu};
    r.folderIndexes = {0x51, 0x52, 0x53};
    return r;
}

JournalRecord Gone(const std::wstring& path) {
    JournalRecord r;
    r.kind = JournalRecord::Kind::Gone;
    r.path = path;
    return r;
}

std::string Line(const JournalRecord& r) {
    std::string line;
    EXPECT_TRUE(FormatJournalLine(r, line));
    return line;
}

TEST(JournalLineTest, WhatIsWrittenReadsBackAndNothingElseReads) {
    JournalRecord made = Made(L"C:\\Backup\\2026\\12\\09\\평면도_1430.dwg", 30);
    made.hasDigest = true;
    made.digest = FileDigest{0x0123456789abcdefu, 0xfedcba9876543210u};
    JournalRecord adopted = Made(L"C:\\Backup\\평면도_202612091431.dwg", 31);
    adopted.kind = JournalRecord::Kind::Adopted;
    adopted.folderIndexes.clear();
    adopted.id.volume = 0;
    JournalRecord gone = Gone(L"C:\\Backup\\2026\\12\\09\\평면도_1430.dwg");

    // The format is an interface: a made line, to the letter.
    const std::string start =
        "made\t202612091430\t8388608\t134093154000000000\t1a2b3c4d\t10000000000abc\t51,52,53\t"
        "fedcba98765432100123456789abcdef\tD:\\A\\\xed\x8f\x89\xeb\xa9\xb4\xeb\x8f\x84.dwg\tC:\\Backup\\";
    EXPECT_EQ(Line(made).substr(0, start.size()), start);
    for (const JournalRecord* r : {&made, &adopted, &gone}) {
        const std::string line = Line(*r);
        ASSERT_EQ(line.back(), '\n');
        const std::string body = line.substr(0, line.size() - 1);
        JournalRecord back;
        ASSERT_TRUE(ParseJournalLine(body, back));
        EXPECT_EQ(back.kind, r->kind);
        EXPECT_EQ(back.path, r->path);
        EXPECT_EQ(back.drawing, r->drawing);
        EXPECT_EQ(back.stamp, r->stamp);
        EXPECT_EQ(back.size, r->size);
        EXPECT_EQ(back.writeTime, r->writeTime);
        EXPECT_EQ(back.id, r->id);
        EXPECT_EQ(back.folderIndexes, r->folderIndexes);
        EXPECT_EQ(back.hasDigest, r->hasDigest);
        EXPECT_EQ(back.digest, r->digest);
        // Any one byte changed, and any line cut short, counts for nothing.
        for (std::size_t i = 0; i < body.size(); ++i) {
            std::string bad = body;
            bad[i] = static_cast<char>(bad[i] ^ 0x20);
            EXPECT_FALSE(ParseJournalLine(bad, back)) << i;
            EXPECT_FALSE(ParseJournalLine(body.substr(0, i), back)) << i;
        }
    }
    // Paths that would break the line are not written.
    std::string line;
    EXPECT_FALSE(FormatJournalLine(Made(L"C:\\B\\a\tb_202612091430.dwg", 30), line));
    EXPECT_FALSE(FormatJournalLine(Made(L"C:\\B\\x_202612091430.dwg", 30, L"D:\\a\nb.dwg"), line));
    JournalRecord unreal = Made(L"C:\\B\\x.dwg", 30);
    unreal.stamp.month = 13;
    EXPECT_FALSE(FormatJournalLine(unreal, line));
}

class JournalTest : public ::testing::Test {
protected:
    std::vector<std::wstring> LivePaths(const Journal& j) const {
        std::vector<std::wstring> out;
        for (const Journal::Entry* e : j.Live()) out.push_back(e->record.path);
        return out;
    }
    MemoryJournalStore storeA;
    MemoryJournalStore storeB{storeA.Shared()};  // another process on the same file
    Journal a{storeA, AsciiFoldedOrder};
    Journal b{storeB, AsciiFoldedOrder};
};

TEST_F(JournalTest, LaterLinesSupersedeAndTornLinesCountForNothing) {
    bool created = false;
    ASSERT_TRUE(a.Write({Made(L"C:\\B\\p_202612091400.dwg", 0), Made(L"C:\\B\\p_202612091401.dwg", 1)}, &created));
    EXPECT_TRUE(created);
    ASSERT_TRUE(b.Write({Gone(L"C:\\B\\P_202612091400.DWG")}, &created));  // the same path, letter case aside
    EXPECT_FALSE(created);
    // A writer that died midway, then garbage, then a good line from the first process.
    storeA.File().bytes += Line(Made(L"C:\\B\\p_202612091402.dwg", 2)).substr(0, 40);
    ASSERT_TRUE(a.Refresh());
    ASSERT_TRUE(a.Write({Made(L"C:\\B\\p_202612091403.dwg", 3)}));
    storeA.File().bytes += "made\tgarbage\n";
    ASSERT_TRUE(b.Refresh());
    const std::vector<std::wstring> expected{L"C:\\B\\p_202612091401.dwg", L"C:\\B\\p_202612091403.dwg"};
    EXPECT_EQ(LivePaths(a), expected);
    EXPECT_EQ(LivePaths(b), expected);
    // The torn line was closed off, never continued: the line after it is whole.
    EXPECT_NE(storeA.File().bytes.find("\nmade\t202612091403"), std::string::npos);
    EXPECT_EQ(a.Lines(), 4u);
}

TEST_F(JournalTest, CompactionKeepsTheLiveRecordsInOrderAndOtherReadersReadItAgain) {
    std::vector<JournalRecord> lines;
    for (int m = 0; m < 60; ++m) lines.push_back(Made(L"C:\\B\\p_" + std::to_wstring(m) + L".dwg", m));
    ASSERT_TRUE(a.Write(lines));
    ASSERT_TRUE(b.Refresh());
    ASSERT_TRUE(a.CompactIfWorth(64));  // nothing superseded yet
    EXPECT_EQ(storeA.File().replaces, 0);
    std::vector<JournalRecord> gone;
    for (int m = 0; m < 31; ++m) gone.push_back(Gone(lines[static_cast<std::size_t>(m)].path));
    ASSERT_TRUE(a.Write(gone));
    // 91 lines, 29 live: more than half superseded or gone.
    ASSERT_TRUE(b.Write({Made(lines[40].path, 0)}));  // written by the other process meanwhile
    ASSERT_TRUE(a.CompactIfWorth(64));
    EXPECT_EQ(storeA.File().replaces, 1);
    EXPECT_EQ(a.Lines(), 29u);
    ASSERT_TRUE(b.Refresh());
    EXPECT_EQ(b.Lines(), 29u);
    EXPECT_EQ(LivePaths(a), LivePaths(b));
    ASSERT_EQ(b.LiveCount(), 29u);
    EXPECT_EQ(b.Live().back()->record.path, lines[40].path);  // rewritten last: its line was the latest
    EXPECT_EQ(b.Find(lines[40].path)->record.stamp.minute, 0);
}

TEST(CandidateTest, OnlyTheDrawingsOwnCopiesBelowTheFolderWithAnIdentityInTheGrammar) {
    MemoryJournalStore store;
    Journal j(store, AsciiFoldedOrder);
    const std::wstring d = L"D:\\A\\plan.dwg";
    JournalRecord noIndex = Made(L"C:\\B\\2026\\12\\09\\plan_1405.dwg", 5, d);
    noIndex.id.index = 0;
    ASSERT_TRUE(j.Write({
        Made(L"C:\\B\\2026\\12\\09\\plan_1402.dwg", 2, d),
        Made(L"c:\\b\\plan_202612091401.dwg", 1, L"d:\\a\\PLAN.DWG"),        // the same, letter case aside
        Made(L"C:\\B\\2026\\12\\09\\plan_1403.dwg", 3, L"D:\\B\\plan.dwg"),  // another drawing of the name
        Made(L"C:\\B2\\plan_202612091404.dwg", 4, d),                        // below another backup folder
        noIndex,                                                             // no identity (a network share)
        Made(L"C:\\B\\2026\\12\\09\\x\\plan_1406.dwg", 6, d),                // not in the grammar
        Made(L"C:\\B\\202612\\09\\plan_1402.dwg", 2, d),                     // the same stamp, later in the journal
    }));
    std::vector<std::wstring> found;
    for (const Candidate& c : CandidatesOf(j, L"C:\\B", d, AsciiFoldedOrder)) found.push_back(c.record.path);
    EXPECT_EQ(found, (std::vector<std::wstring>{L"c:\\b\\plan_202612091401.dwg", L"C:\\B\\2026\\12\\09\\plan_1402.dwg",
                                                L"C:\\B\\202612\\09\\plan_1402.dwg"}));
}

}  // namespace
