// Asserts, for any history, now and rules: future copies and the current copy are never
// removed, the newest copy survives, at most N stay, none older than D days stays but the
// newest, and planning again over what stays removes nothing more.
#include <algorithm>
#include <cstdlib>

#include "FuzzInput.h"
#include "backup/CopyName.h"
#include "backup/RetentionPlan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    RetentionRules rules;
    rules.keepCount = in.Byte() % 8;
    rules.keepDays = in.Byte() % 50;
    rules.thinOut = in.Byte() & 1;
    const int64_t now = 28000000;
    std::vector<int64_t> stamps;
    const std::size_t n = in.Byte() % 64;
    for (std::size_t i = 0; i < n; ++i) {
        const int64_t back = (static_cast<int64_t>(in.Byte()) << 16 | in.Byte() << 8 | in.Byte()) - 2000;
        stamps.push_back(now - back);
    }
    const std::size_t current = n ? in.Byte() % (n + 1) : kNoCopy;  // n: none
    const std::size_t protect = current < n && stamps[current] <= now ? current : kNoCopy;
    const std::vector<PlanDecision> plan = PlanRetention(stamps, now, rules, protect);
    if (plan.size() != n) abort();
    std::size_t newest = kNoCopy, kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (stamps[i] > now) {
            if (plan[i].remove || plan[i].rule != PlanRule::Future) abort();
            continue;
        }
        if (newest == kNoCopy || stamps[i] >= stamps[newest]) newest = i;
        if (!plan[i].remove) {
            ++kept;
            const bool exempt = plan[i].rule == PlanRule::Newest || plan[i].rule == PlanRule::Current;
            if (rules.keepDays > 0 && now - stamps[i] > rules.keepDays * kMinutesPerDay && !exempt) abort();
        }
    }
    if (protect != kNoCopy && plan[protect].remove) abort();
    if (newest != kNoCopy && plan[newest].remove) abort();
    if (rules.keepCount > 0 && kept > static_cast<std::size_t>(std::max<int64_t>(rules.keepCount, 1)) + 1) abort();
    std::vector<int64_t> rest;
    std::size_t restProtect = kNoCopy;
    for (std::size_t i = 0; i < n; ++i) {
        if (plan[i].remove) continue;
        if (i == protect) restProtect = rest.size();
        rest.push_back(stamps[i]);
    }
    for (const PlanDecision& d : PlanRetention(rest, now, rules, restProtect))
        if (d.remove) abort();
    return 0;
}
