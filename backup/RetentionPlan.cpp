#include "RetentionPlan.h"

#include <algorithm>
#include <unordered_set>

#include "CopyName.h"

std::vector<PlanDecision> PlanRetention(const std::vector<int64_t>& stamps, int64_t now, const RetentionRules& rules,
                                        std::size_t current) {
    std::vector<PlanDecision> plan(stamps.size());
    // Copies that are not in the future, newest first. Stamps usually come in ascending
    // order, which needs no sorting.
    std::vector<std::size_t> order;
    order.reserve(stamps.size());
    for (std::size_t i = stamps.size(); i-- > 0;) {
        if (stamps[i] > now)
            plan[i].rule = PlanRule::Future;
        else
            order.push_back(i);
    }
    const auto newer = [&](std::size_t a, std::size_t b) {
        return stamps[a] != stamps[b] ? stamps[a] > stamps[b] : a > b;
    };
    if (!std::is_sorted(order.begin(), order.end(), newer)) std::sort(order.begin(), order.end(), newer);

    const int64_t dayLimit = rules.keepDays > 0 ? rules.keepDays * kMinutesPerDay : 0;
    std::unordered_set<int64_t> daysSeen, weeksSeen;
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
        const std::size_t i = order[rank];
        PlanDecision& d = plan[i];
        const int64_t age = now - stamps[i];
        // Thinning looks at every copy in its band, newest first, so the first of each day or
        // week is its newest, whatever else removes it.
        PlanRule thin = PlanRule::Kept;
        if (rules.thinOut && age > kMinutesPerDay) {
            if (age <= 30 * kMinutesPerDay) {
                if (!daysSeen.insert(DayNumber(stamps[i])).second) thin = PlanRule::ThinDaily;
            } else if (!weeksSeen.insert(WeekNumber(stamps[i])).second) {
                thin = PlanRule::ThinWeekly;
            }
        }
        if (rank == 0) {
            d.rule = PlanRule::Newest;
        } else if (i == current) {
            d.rule = PlanRule::Current;
        } else if (rules.keepCount > 0 && static_cast<int64_t>(rank) >= rules.keepCount) {
            d = {true, PlanRule::KeepCount};
        } else if (dayLimit > 0 && age > dayLimit) {
            d = {true, PlanRule::KeepDays};
        } else if (thin != PlanRule::Kept) {
            d = {true, thin};
        }
    }
    return plan;
}

const char* PlanRuleName(PlanRule rule) {
    switch (rule) {
    case PlanRule::Future:
        return "future";
    case PlanRule::Newest:
        return "newest";
    case PlanRule::Current:
        return "current";
    case PlanRule::Kept:
        return "kept";
    case PlanRule::KeepCount:
        return "keep-count";
    case PlanRule::KeepDays:
        return "keep-days";
    case PlanRule::ThinDaily:
        return "thin-daily";
    case PlanRule::ThinWeekly:
        return "thin-weekly";
    }
    return "?";
}
