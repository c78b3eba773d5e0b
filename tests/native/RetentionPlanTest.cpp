#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "backup/CopyName.h"
#include "backup/RetentionPlan.h"

namespace {

const int64_t kNow = StampMinutes(CivilStamp{2026, 12, 9, 9, 5});  // a Wednesday
constexpr int64_t H = 60, D = kMinutesPerDay;

std::string Letters(const std::vector<PlanDecision>& plan) {
    std::string s;
    for (const PlanDecision& d : plan) s += d.remove ? 'x' : '.';
    return s;
}

// Ages in minutes before kNow (negative: in the future), oldest first as the scan gives them.
std::vector<int64_t> Ages(std::initializer_list<int64_t> ages) {
    std::vector<int64_t> stamps;
    for (int64_t a : ages) stamps.push_back(kNow - a);
    return stamps;
}

TEST(RetentionPlanTest, EachRuleAloneAndCombined) {
    const std::vector<int64_t> history =
        Ages({60 * D, 40 * D + H, 40 * D, 10 * D + 2 * H, 10 * D + H, 7 * D, 7 * D - 1, 2 * D, D + 1, D, 2 * H, 0, -5});
    const struct {
        const char* what;
        RetentionRules rules;
        std::size_t current;
        const char* expected;  // one letter per copy, oldest first: x removed
    } cases[] = {
        {"no rule", {}, kNoCopy, "............."},
        {"keep 3", {3, 0, false}, kNoCopy, "xxxxxxxxx...."},
        {"keep 1", {1, 0, false}, kNoCopy, "xxxxxxxxxxx.."},
        {"keep 1 with an older current copy", {1, 0, false}, 9, "xxxxxxxxx.x.."},
        {"7 days: exactly 7 x 24 h stays", {0, 7, false}, kNoCopy, "xxxxx........"},
        {"1 day", {0, 1, false}, kNoCopy, "xxxxxxxxx...."},
        {"thin out", {0, 0, true}, kNoCopy, ".x.x.x......."},
        {"keep 10 and 30 days", {10, 30, false}, kNoCopy, "xxx.........."},
        {"keep 5, thin out", {5, 0, true}, kNoCopy, "xxxxxxx......"},
        {"thin out, 8 days", {0, 8, true}, kNoCopy, "xxxxxx......."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Letters(PlanRetention(history, kNow, c.rules, c.current)), c.expected);
    }
}

TEST(RetentionPlanTest, RecordsTheRuleThatDecidedEach) {
    const std::vector<int64_t> stamps = Ages({40 * D + H, 40 * D, 10 * D + H, 10 * D, 3 * D, 0, -5});
    const auto plan = PlanRetention(stamps, kNow, {4, 20, true}, 4);
    const PlanRule expected[] = {PlanRule::KeepCount, PlanRule::KeepCount, PlanRule::ThinDaily, PlanRule::Kept,
                                 PlanRule::Current,   PlanRule::Newest,    PlanRule::Future};
    for (std::size_t i = 0; i < plan.size(); ++i) EXPECT_EQ(plan[i].rule, expected[i]) << i;
    const auto thin = PlanRetention(stamps, kNow, {0, 0, true});
    EXPECT_EQ(thin[0].rule, PlanRule::ThinWeekly);
    EXPECT_EQ(thin[2].rule, PlanRule::ThinDaily);
    EXPECT_EQ(thin[3].rule, PlanRule::Kept);
    EXPECT_EQ(std::string(PlanRuleName(PlanRule::ThinWeekly)), "thin-weekly");
}

TEST(RetentionPlanTest, WeeksStartOnMonday) {
    // kNow is Wednesday 2026-12-09; 2026-10-26 is a Monday more than 30 days before.
    const int64_t sunday = StampMinutes(CivilStamp{2026, 10, 25, 23, 0});
    const int64_t monday = StampMinutes(CivilStamp{2026, 10, 26, 1, 0});
    const int64_t nextSunday = StampMinutes(CivilStamp{2026, 11, 1, 22, 0});
    const std::vector<int64_t> stamps = {sunday, monday, nextSunday, kNow};
    EXPECT_EQ(Letters(PlanRetention(stamps, kNow, {0, 0, true})), ".x..");
}

TEST(RetentionPlanTest, ThirtyDaysExactlyIsStillThinnedByDay) {
    // Both on the same day: the older one exactly 30 x 24 h old, so still in the daily band.
    EXPECT_EQ(Letters(PlanRetention({kNow - 30 * D, kNow - 30 * D + H, kNow}, kNow, {0, 0, true})), "x..");
    // A minute more and it is in the weekly band, alone in its week.
    EXPECT_EQ(Letters(PlanRetention({kNow - 30 * D - 1, kNow - 30 * D + H, kNow}, kNow, {0, 0, true})), "...");
}

TEST(RetentionPlanTest, SameStampLaterGivenCountsAsNewer) {
    const std::vector<int64_t> stamps = {kNow - H, kNow, kNow};
    const auto plan = PlanRetention(stamps, kNow, {1, 0, false});
    EXPECT_EQ(Letters(plan), "xx.");
    EXPECT_EQ(plan[2].rule, PlanRule::Newest);
    EXPECT_EQ(Letters(PlanRetention({kNow + 1, kNow + 2}, kNow, {1, 1, true})), "..");  // all future
    EXPECT_TRUE(PlanRetention({}, kNow, {1, 1, true}).empty());
}

// Random histories: what must hold whatever the rules.
TEST(RetentionPlanTest, PropertiesOfRandomHistories) {
    std::mt19937_64 rng(2026);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = rng() % 60;
        std::vector<int64_t> stamps;
        for (std::size_t i = 0; i < n; ++i) {
            const int64_t spread = (round % 3 == 0) ? 3 * D : 400 * D;
            stamps.push_back(kNow - static_cast<int64_t>(rng() % spread) + (rng() % 10 == 0 ? 300 : 0));
        }
        std::sort(stamps.begin(), stamps.end());
        RetentionRules rules;
        rules.keepCount = static_cast<int64_t>(rng() % 4 == 0 ? 0 : rng() % 12);
        rules.keepDays = static_cast<int64_t>(rng() % 3 == 0 ? 0 : rng() % 60);
        rules.thinOut = rng() % 2 == 0;
        SCOPED_TRACE(testing::Message() << "round " << round << " n " << n << " N " << rules.keepCount << " D "
                                        << rules.keepDays << " thin " << rules.thinOut);
        const auto plan = PlanRetention(stamps, kNow, rules);

        std::vector<int64_t> kept;
        std::size_t newest = kNoCopy;
        for (std::size_t i = 0; i < n; ++i) {
            if (stamps[i] > kNow) {
                EXPECT_FALSE(plan[i].remove) << "future copy " << i;
                continue;
            }
            newest = i;  // ascending: the last one not in the future
            if (!plan[i].remove) kept.push_back(stamps[i]);
        }
        if (newest != kNoCopy) EXPECT_FALSE(plan[newest].remove);
        if (rules.keepCount > 0) EXPECT_LE(static_cast<int64_t>(kept.size()), std::max<int64_t>(rules.keepCount, 1));
        if (rules.keepDays > 0)
            for (int64_t s : kept) EXPECT_TRUE(kNow - s <= rules.keepDays * D || s == stamps[newest]);
        if (rules.thinOut) {
            std::map<int64_t, int> perDay, perWeek;
            for (int64_t s : kept) {
                if (kNow - s > 30 * D)
                    ++perWeek[WeekNumber(s)];
                else if (kNow - s > D)
                    ++perDay[DayNumber(s)];
            }
            for (const auto& d : perDay) EXPECT_EQ(d.second, 1);
            for (const auto& w : perWeek) EXPECT_EQ(w.second, 1);
        }
        if (rules.thinOut && rules.keepCount == 0 && rules.keepDays == 0) {
            // Thinning alone keeps exactly the newest of every day and week it looks at.
            std::set<int64_t> days, weeks;
            for (std::size_t i = 0; i < n; ++i) {
                if (stamps[i] > kNow) continue;
                if (kNow - stamps[i] > 30 * D)
                    weeks.insert(WeekNumber(stamps[i]));
                else if (kNow - stamps[i] > D)
                    days.insert(DayNumber(stamps[i]));
            }
            std::size_t inBands = 0;
            for (int64_t s : kept) inBands += kNow - s > D ? 1 : 0;
            EXPECT_EQ(inBands, days.size() + weeks.size());
        }
        // Running it again over what stays removes nothing more.
        std::vector<int64_t> rest;
        for (std::size_t i = 0; i < n; ++i)
            if (!plan[i].remove) rest.push_back(stamps[i]);
        for (const PlanDecision& d : PlanRetention(rest, kNow, rules)) EXPECT_FALSE(d.remove);
    }
}

}  // namespace
