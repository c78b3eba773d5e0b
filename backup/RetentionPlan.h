// The retention planner: which copies of one drawing the rules keep and which they remove,
// and the rule that decided each. A pure function of the copies' stamps and "now"; the tick,
// the management dialog's preview and the cleanup tool all plan with it. No Win32 here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct RetentionRules {
    int64_t keepCount = 0;  // > 0: only the newest N copies stay
    int64_t keepDays = 0;   // > 0: copies more than D x 24 h old go
    bool thinOut = false;   // older than a day: one a day; older than 30 days: one a week
    bool Any() const { return keepCount > 0 || keepDays > 0 || thinOut; }
};

enum class PlanRule {
    // kept
    Future,   // stamped later than now: never touched, counts for no rule
    Newest,   // the newest copy that is not in the future
    Current,  // the copy this tick made, or the earlier twin kept in its place
    Kept,     // no rule removes it
    // removed
    KeepCount,   // beyond the newest N
    KeepDays,    // older than D days
    ThinDaily,   // not the newest of its calendar day (older than 24 h, at most 30 days)
    ThinWeekly,  // not the newest of its week (older than 30 days; weeks start on Monday)
};

struct PlanDecision {
    bool remove = false;
    PlanRule rule = PlanRule::Kept;
};

constexpr std::size_t kNoCopy = static_cast<std::size_t>(-1);

// One decision per stamp (minutes, see CopyName.h), in the order given. Among copies with
// the same stamp the one given later counts as newer. `current` (an index, or kNoCopy) is
// never removed. A copy is removed when any rule removes it; the rule recorded is the first
// of count, age, thinning that does.
std::vector<PlanDecision> PlanRetention(const std::vector<int64_t>& stamps, int64_t now, const RetentionRules& rules,
                                        std::size_t current = kNoCopy);

// Short English name of a rule, for listings: "future", "newest", "keep-count", ...
const char* PlanRuleName(PlanRule rule);
