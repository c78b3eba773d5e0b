#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <tuple>

#include "MemoryJournal.h"
#include "backup/Adoption.h"
#include "backup/Candidates.h"

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

JournalRecord SessionLine(JournalRecord::Kind kind, uint32_t pid) {
    JournalRecord r;
    r.kind = kind;
    r.session = SessionId{pid, 134093100000000000u + pid};
    return r;
}

// A made line written by session `pid`.
JournalRecord MadeBy(const std::wstring& path, int minute, const std::wstring& drawing, uint32_t pid) {
    JournalRecord r = Made(path, minute, drawing);
    r.session = SessionLine(JournalRecord::Kind::Made, pid).session;
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

void ExpectSameRecord(const JournalRecord& back, const JournalRecord& r) {
    EXPECT_EQ(back.kind, r.kind);
    EXPECT_EQ(back.path, r.path);
    EXPECT_EQ(back.drawing, r.drawing);
    EXPECT_EQ(back.stamp, r.stamp);
    EXPECT_EQ(back.size, r.size);
    EXPECT_EQ(back.writeTime, r.writeTime);
    EXPECT_EQ(back.id, r.id);
    EXPECT_EQ(back.folderIndexes, r.folderIndexes);
    EXPECT_EQ(back.hasDigest, r.hasDigest);
    EXPECT_EQ(back.digest, r.digest);
    EXPECT_EQ(back.session, r.session);
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
    JournalRecord ofSession = Made(L"C:\\Backup\\평면도_202612091432.dwg", 32);
    ofSession.session = SessionId{4242, 134093154000000000u};
    JournalRecord started = SessionLine(JournalRecord::Kind::Start, 0);
    JournalRecord end = SessionLine(JournalRecord::Kind::End, 4294967295u);
    JournalRecord reported = SessionLine(JournalRecord::Kind::Reported, 7);

    // The format is an interface: a made line, to the letter.
    const std::string start =
        "made\t202612091430\t8388608\t134093154000000000\t1a2b3c4d\t10000000000abc\t51,52,53\t"
        "fedcba98765432100123456789abcdef\tD:\\A\\\xed\x8f\x89\xeb\xa9\xb4\xeb\x8f\x84.dwg\tC:\\Backup\\";
    EXPECT_EQ(Line(made).substr(0, start.size()), start);
    // Its checksum is the common CRC-32 (of zip and PNG), whatever the length.
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_NE(Line(ofSession).find("\t-\t4242.134093154000000000\tD:\\A\\"), std::string::npos);
    EXPECT_EQ(Line(end).rfind("end\t4294967295.134093104294967295\t", 0), 0u);
    for (const JournalRecord* r : {&made, &adopted, &gone, &ofSession, &started, &end, &reported}) {
        const std::string line = Line(*r);
        ASSERT_EQ(line.back(), '\n');
        const std::string body = line.substr(0, line.size() - 1);
        JournalRecord back;
        ASSERT_TRUE(ParseJournalLine(body, back));
        ExpectSameRecord(back, *r);
        // Any one byte changed, and any line cut short, counts for nothing.
        for (std::size_t i = 0; i < body.size(); ++i) {
            std::string bad = body;
            bad[i] = static_cast<char>(bad[i] ^ 0x20);
            EXPECT_FALSE(ParseJournalLine(bad, back)) << i;
            EXPECT_FALSE(ParseJournalLine(body.substr(0, i), back)) << i;
        }
    }
    // Numbers up to the largest 64-bit value read back; one more, with a good checksum, is no line.
    const std::string plain = Line(made);
    const std::size_t sizeAt = plain.find("\t8388608\t") + 1;
    for (const auto& [size, reads] : std::vector<std::pair<std::string, bool>>{{"18446744073709551615", true},
                                                                               {"1844674407370955161", true},
                                                                               {"18446744073709551616", false},
                                                                               {"99999999999999999999", false},
                                                                               {"184467440737095516150", false}}) {
        std::string body = plain.substr(0, plain.rfind('\t'));
        body.replace(sizeAt, 7, size);
        char crc[9];
        snprintf(crc, sizeof crc, "%08x", Crc32(body.data(), body.size()));
        JournalRecord back;
        EXPECT_EQ(ParseJournalLine(body + "\t" + crc, back), reads) << size;
        if (reads) {
            EXPECT_EQ(std::to_string(back.size), size);
        }
    }
    // The journal's index keeps every field of a copy's line, not only what it indexes by.
    MemoryJournalStore store;
    Journal journal(store, AsciiFoldedOrder, AsciiFold);
    // A path longer than the blocks the index keeps paths in (30,000 letters of 3 bytes each).
    JournalRecord deep = Made(L"C:\\Backup\\" + std::wstring(30000, L'\xD3C9') + L"_202612091433.dwg", 33);
    ASSERT_TRUE(journal.Write({made, adopted, ofSession, deep}));
    for (const JournalRecord* r : {&made, &adopted, &ofSession, &deep}) {
        const std::optional<Journal::Entry> kept = journal.Find(r->path);
        ASSERT_TRUE(kept.has_value());
        ExpectSameRecord(kept->record, *r);
    }
    // Paths that would break the line are not written.
    std::string line;
    EXPECT_FALSE(FormatJournalLine(Made(L"C:\\B\\a\tb_202612091430.dwg", 30), line));
    EXPECT_FALSE(FormatJournalLine(Made(L"C:\\B\\x_202612091430.dwg", 30, L"D:\\a\nb.dwg"), line));
    JournalRecord unreal = Made(L"C:\\B\\x.dwg", 30);
    unreal.stamp.month = 13;
    EXPECT_FALSE(FormatJournalLine(unreal, line));
    JournalRecord nobody;  // a session line needs a session
    nobody.kind = JournalRecord::Kind::Start;
    EXPECT_FALSE(FormatJournalLine(nobody, line));
}

class JournalTest : public ::testing::Test {
protected:
    std::vector<std::wstring> LivePaths(Journal& j) const {
        std::vector<std::wstring> out;
        for (const Journal::Entry& e : j.Live()) out.push_back(e.record.path);
        return out;
    }
    MemoryJournalStore storeA;
    MemoryJournalStore storeB{storeA.Shared()};  // another process on the same file
    Journal a{storeA, AsciiFoldedOrder, AsciiFold};
    Journal b{storeB, AsciiFoldedOrder, AsciiFold};
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
    EXPECT_EQ(b.Lines(), 4u);
    EXPECT_EQ(b.Ignored(), 2u);  // the torn line, closed off, and the garbage
}

TEST_F(JournalTest, ALineThatLostOnlyItsLineFeedNeverCounts) {
    ASSERT_TRUE(a.Write({Made(L"C:\\B\\p_202612091400.dwg", 0)}));
    std::string whole = Line(Made(L"C:\\B\\p_202612091401.dwg", 1));
    whole.pop_back();  // everything but its LF reached the file
    storeA.File().bytes += whole;
    ASSERT_TRUE(b.Write({Made(L"C:\\B\\p_202612091402.dwg", 2)}));
    ASSERT_TRUE(a.Refresh());
    const std::vector<std::wstring> expected{L"C:\\B\\p_202612091400.dwg", L"C:\\B\\p_202612091402.dwg"};
    EXPECT_EQ(LivePaths(a), expected);
    EXPECT_EQ(LivePaths(b), expected);
    MemoryJournalStore storeC{storeA.Shared()};
    Journal fresh(storeC, AsciiFoldedOrder, AsciiFold);
    EXPECT_EQ(LivePaths(fresh), expected);
}

// Copies made, superseded and gone in any order, thousands of them, in many readings of
// different lengths: the index holds exactly the latest live line of each path.
TEST_F(JournalTest, ManyCopiesComingAndGoingLeaveExactlyTheLatestLiveLines) {
    std::mt19937 random(20261210);
    std::map<std::wstring, int> model;  // path -> minute of its latest made line
    for (int batch = 0; batch < 60; ++batch) {
        std::vector<JournalRecord> lines;
        const int size = 1 + static_cast<int>(random() % 200);
        for (int i = 0; i < size; ++i) {
            const std::wstring path = L"C:\\B\\p" + std::to_wstring(random() % 3000) + L".dwg";
            // The same path written in other letter case now and then: still the same copy.
            const std::wstring spelt = random() % 4 == 0 ? L"c:\\b\\P" + path.substr(6) : path;
            if (random() % 3 == 0) {
                lines.push_back(Gone(spelt));
                model.erase(path);
            } else {
                const int minute = static_cast<int>(random() % 60);
                lines.push_back(Made(spelt, minute));
                model[path] = minute;
            }
        }
        ASSERT_TRUE((batch % 2 == 0 ? a : b).Write(lines));
    }
    ASSERT_TRUE(a.Refresh());
    EXPECT_EQ(a.LiveCount(), model.size());
    for (const auto& [path, minute] : model) {
        const std::optional<Journal::Entry> e = a.Find(path);
        ASSERT_TRUE(e.has_value()) << path.c_str();
        EXPECT_EQ(e->record.stamp.minute, minute);
    }
    EXPECT_FALSE(a.Find(L"C:\\B\\p3000.dwg").has_value());
}

TEST_F(JournalTest, EachDrawingKeepsExactlyItsLiveCopies) {
    const std::wstring A = L"D:\\A\\평면도.dwg", B = L"D:\\B\\평면도.dwg";
    const auto of = [&](const std::wstring& drawing) {
        std::vector<std::wstring> out;
        for (const Journal::Entry& e : a.LiveOf(drawing)) out.push_back(e.record.path);
        std::sort(out.begin(), out.end());
        return out;
    };
    ASSERT_TRUE(a.Write({Made(L"C:\\B\\1", 1, A), Made(L"C:\\B\\2", 2, A), Made(L"C:\\B\\3", 3, A),
                         Made(L"C:\\B\\4", 4, A), Made(L"C:\\B\\9", 9, B)}));
    struct Row {
        JournalRecord line;
        std::vector<std::wstring> a, b;
    };
    const Row rows[] = {
        {Gone(L"C:\\B\\4"), {L"C:\\B\\1", L"C:\\B\\2", L"C:\\B\\3"}, {L"C:\\B\\9"}},  // the last made
        {Gone(L"C:\\B\\1"), {L"C:\\B\\2", L"C:\\B\\3"}, {L"C:\\B\\9"}},               // the first made
        {Made(L"C:\\B\\2", 5, B), {L"C:\\B\\3"}, {L"C:\\B\\2", L"C:\\B\\9"}},         // handed over
        {Made(L"C:\\B\\3", 6, A), {L"C:\\B\\3"}, {L"C:\\B\\2", L"C:\\B\\9"}},         // made again
        {Gone(L"C:\\B\\3"), {}, {L"C:\\B\\2", L"C:\\B\\9"}},                          // none left
        {Gone(L"C:\\B\\9"), {}, {L"C:\\B\\2"}},
        {Made(L"C:\\B\\7", 7, A), {L"C:\\B\\7"}, {L"C:\\B\\2"}},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(a.Write({row.line}));
        EXPECT_EQ(of(A), row.a) << row.line.path;
        EXPECT_EQ(of(B), row.b) << row.line.path;
        EXPECT_EQ(a.LiveCount(), row.a.size() + row.b.size());
    }
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
    EXPECT_EQ(b.Live().back().record.path, lines[40].path);  // rewritten last: its line was the latest
    EXPECT_EQ(b.Find(lines[40].path)->record.stamp.minute, 0);
}

TEST_F(JournalTest, EndedSessionsAreClaimedOnceWithTheDrawingsTheyMadeCopiesOf) {
    using K = JournalRecord::Kind;
    // 1 ended uncleanly, 2 ended cleanly, 3 was reported, 4 still runs, 5 is this process.
    ASSERT_TRUE(a.Write({SessionLine(K::Start, 1), MadeBy(L"C:\\B\\y_202612091400.dwg", 0, L"D:\\Y.dwg", 1),
                         MadeBy(L"C:\\B\\x_202612091400.dwg", 0, L"D:\\X.dwg", 1), SessionLine(K::Start, 2),
                         MadeBy(L"C:\\B\\z_202612091400.dwg", 0, L"D:\\Z.dwg", 2), SessionLine(K::End, 2),
                         SessionLine(K::Start, 3), SessionLine(K::Reported, 3), SessionLine(K::Start, 4),
                         SessionLine(K::Start, 5), MadeBy(L"C:\\B\\y_202612091410.dwg", 10, L"d:\\y.DWG", 1),
                         Gone(L"C:\\B\\y_202612091410.dwg")}));
    // A session whose start line came after its first copies (the switch turned on midway) counts them.
    ASSERT_TRUE(b.Write({MadeBy(L"C:\\B\\w_202612091400.dwg", 0, L"D:\\W.dwg", 6), SessionLine(K::Start, 6)}));
    std::vector<SessionId> asked;
    const auto over = [&](const SessionId& s) {
        asked.push_back(s);
        return s.pid != 4 && s.pid != 5;  // 5 runs too: it is this process
    };
    std::vector<Journal::EndedSession> ended;
    ASSERT_TRUE(a.ClaimEndedSessions(SessionLine(K::Start, 5).session, over, ended));
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].id.pid, 1u);
    // Each drawing once, in the order first made, spelled as last written.
    EXPECT_EQ(ended[0].drawings, (std::vector<std::wstring>{L"d:\\y.DWG", L"D:\\X.dwg"}));
    EXPECT_EQ(ended[1].id.pid, 6u);
    EXPECT_EQ(ended[1].drawings, (std::vector<std::wstring>{L"D:\\W.dwg"}));
    EXPECT_EQ(asked.size(), 3u);  // 1, 4, 6: not the sessions that ended, were reported, or this one
    // Another host starting at the same time finds them reported.
    ASSERT_TRUE(b.ClaimEndedSessions(SessionLine(K::Start, 9).session, over, ended));
    EXPECT_TRUE(ended.empty());
}

TEST_F(JournalTest, AKeptLockIsLetGoOnceByItsLastOwner) {
    Journal::Lock outer;
    {
        Journal::Lock kept = a.KeepLock();
        ASSERT_TRUE(a.Write({Made(L"C:\\B\\p_202612091400.dwg", 0)}));
        EXPECT_TRUE(storeA.File().locked);  // kept past the write
        outer = std::move(kept);
    }
    EXPECT_TRUE(storeA.File().locked);  // moved, not let go
    ASSERT_TRUE(a.Write({Made(L"C:\\B\\p_202612091401.dwg", 1)}));
    EXPECT_EQ(storeA.File().locks, 1);  // both writes under one taking
    outer.LetGo();
    EXPECT_FALSE(storeA.File().locked);
    outer.LetGo();
    ASSERT_TRUE(b.Write({Made(L"C:\\B\\p_202612091402.dwg", 2)}));  // the other process takes it
    ASSERT_TRUE(a.Refresh());
    EXPECT_EQ(a.LiveCount(), 3u);
}

TEST_F(JournalTest, ANewHostWithACrashedHostsProcessIdStillClaimsThatSession) {
    const SessionId crashed{4242, 134093100000000000u}, self{4242, 134093200000000000u};
    JournalRecord start = SessionLine(JournalRecord::Kind::Start, 0);
    start.session = crashed;
    ASSERT_TRUE(a.Write({start}));
    std::vector<Journal::EndedSession> ended;
    ASSERT_TRUE(b.ClaimEndedSessions(
        self, [&](const SessionId& s) { return s != self; }, ended));
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].id, crashed);
}

TEST_F(JournalTest, CompactionKeepsOpenSessionsTheirGoneCopiesAndEveryLiveCopy) {
    using K = JournalRecord::Kind;
    JournalRecord adopted = MadeBy(L"C:\\B\\f_202612091400.dwg", 0, L"D:\\F.dwg", 3);
    adopted.kind = K::Adopted;
    std::vector<JournalRecord> lines{SessionLine(K::Start, 1),
                                     MadeBy(L"C:\\B\\a_202612091400.dwg", 0, L"D:\\A.dwg", 1),
                                     MadeBy(L"C:\\B\\b_202612091400.dwg", 0, L"D:\\B.dwg", 1),
                                     Gone(L"C:\\B\\b_202612091400.dwg"),
                                     SessionLine(K::Start, 2),
                                     MadeBy(L"C:\\B\\a_202612091401.dwg", 1, L"D:\\A.dwg", 2),
                                     MadeBy(L"C:\\B\\c_202612091401.dwg", 1, L"D:\\C.dwg", 2),
                                     SessionLine(K::End, 2),
                                     adopted};
    // Another host's drawing, copied over and over: 120 lines, 50 live copies.
    for (int m = 0; m < 120; ++m)
        lines.push_back(
            MadeBy(L"C:\\B\\e_2026120915" + std::to_wstring(10 + m % 50) + L".dwg", m % 50, L"D:\\E.dwg", 3));
    lines.push_back(SessionLine(K::Reported, 3));
    ASSERT_TRUE(a.Write(lines));
    ASSERT_TRUE(a.CompactIfWorth(64));
    EXPECT_EQ(storeA.File().replaces, 1);
    // The open session, the copy it made that went, then every live copy in journal order,
    // made or adopted, whichever session made it and whether or not that session is open.
    std::vector<std::string> kinds;
    for (std::size_t at = 0; at < storeA.File().bytes.size();) {
        const std::size_t lf = storeA.File().bytes.find('\n', at);
        kinds.push_back(storeA.File().bytes.substr(at, storeA.File().bytes.find('\t', at) - at));
        at = lf + 1;
    }
    std::vector<std::string> expected{"start", "made", "gone", "made", "made", "made", "adopted"};
    expected.resize(expected.size() + 50, "made");
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(a.LiveCount(), 54u);
    EXPECT_EQ(a.Find(L"C:\\B\\f_202612091400.dwg")->record.kind, K::Adopted);
    std::vector<Journal::EndedSession> ended;
    ASSERT_TRUE(b.ClaimEndedSessions(
        SessionId{}, [](const SessionId&) { return true; }, ended));
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].drawings, (std::vector<std::wstring>{L"D:\\B.dwg", L"D:\\A.dwg"}));
}

TEST_F(JournalTest, AdoptionTakesOnlyCopiesNoLineKnowsAndNeverAnotherDrawingsCopy) {
    const std::wstring d = L"D:\\A\\plan.dwg", other = L"D:\\B\\plan.dwg";
    const auto path = [](int minute) { return L"C:\\B\\plan_2026120914" + std::to_wstring(10 + minute) + L".dwg"; };
    JournalRecord stale = Made(path(2), 2, d), noId = Made(path(3), 3, d), empty = Made(path(4), 4, d);
    stale.size = 5;  // the file was rewritten since
    noId.id.index = 0;
    empty.size = 0;
    ASSERT_TRUE(a.Write({Made(path(0), 0, d), Made(path(1), 1, other), stale, noId, empty}));
    std::vector<BackupCopy> copies;
    for (int m = 0; m < 7; ++m) {
        BackupCopy c;
        c.path = path(m);
        c.size = m == 4 ? 0 : 8388608;
        c.writeTime = 134093154000000000u;
        copies.push_back(c);
    }
    const auto paths = [](const std::vector<BackupCopy>& group) {
        std::vector<std::wstring> out;
        for (const BackupCopy& c : group) out.push_back(c.path);
        return out;
    };
    const AdoptionGroups groups = GroupForAdoption(copies, a, d, AsciiFoldedOrder);
    EXPECT_EQ(paths(groups.candidates), (std::vector<std::wstring>{path(0)}));
    EXPECT_EQ(paths(groups.otherDrawing), (std::vector<std::wstring>{path(1)}));
    EXPECT_EQ(paths(groups.unknown), (std::vector<std::wstring>{path(2), path(5), path(6)}));
    EXPECT_EQ(groups.unverifiable, 1u);
    // Meanwhile another host made a copy under one of those names for its own drawing.
    ASSERT_TRUE(b.Write({Made(path(6), 6, other)}));
    std::vector<JournalRecord> adopted;
    for (const BackupCopy& c : groups.unknown) {
        adopted.push_back(Made(c.path, 0, d));
        adopted.back().kind = JournalRecord::Kind::Adopted;
    }
    std::size_t skipped = 0;
    ASSERT_TRUE(a.Adopt(adopted, skipped));
    EXPECT_EQ(skipped, 1u);
    EXPECT_FALSE(storeA.File().locked);
    ASSERT_TRUE(b.Refresh());
    EXPECT_EQ(b.Find(path(6))->record.drawing, other);
    EXPECT_EQ(b.Find(path(6))->record.kind, JournalRecord::Kind::Made);
    EXPECT_EQ(b.Find(path(5))->record.kind, JournalRecord::Kind::Adopted);
    EXPECT_EQ(b.Find(path(2))->record.kind, JournalRecord::Kind::Adopted);
    EXPECT_EQ(b.Find(path(1))->record.drawing, other);
}

TEST(CandidateTest, OnlyTheDrawingsOwnCopiesBelowTheFolderWithAnIdentityInTheGrammar) {
    MemoryJournalStore store;
    Journal j(store, AsciiFoldedOrder, AsciiFold);
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
        Made(L"E:\\X\\plan_202612091407.dwg", 7, d),                         // below another folder of the same length
        Made(L"C:\\B\\2026\\12\\09\\other_1408.dwg", 8, d),                  // another drawing's name
        Made(L"C:\\B\\2026\\12\\09\\plan_1409.rvt", 9, d),                   // another extension
    }));
    std::vector<std::wstring> found;
    for (const Candidate& c : CandidatesOf(j, L"C:\\B", d, AsciiFoldedOrder)) found.push_back(c.record.path);
    EXPECT_EQ(found, (std::vector<std::wstring>{L"c:\\b\\plan_202612091401.dwg", L"C:\\B\\2026\\12\\09\\plan_1402.dwg",
                                                L"C:\\B\\202612\\09\\plan_1402.dwg"}));
}

}  // namespace
