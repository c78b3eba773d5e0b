#pragma once
#include <cstdint>

// The housekeeping options, each off (0) unless the user turned it on. They live beside the
// four backup settings in the same key, as REG_DWORD values of the same names.
struct HousekeepingSettings {
    int32_t mSkipIdentical = 0;  // 1: a new copy equal to the newest earlier one is deleted again
    int32_t mKeepCount = 0;      // N > 0: only the newest N copies stay
    int32_t mKeepDays = 0;       // D > 0: copies more than D x 24 h old go
    int32_t mThinOut = 0;        // 1: one copy a day after 24 h, one a week after 30 days
    // Stored the same way, though not housekeeping: 1, a failed save shows its box only when it
    // is the first of failures in a row; the later ones go to the host's message line.
    int32_t mQuietFailures = 0;
    // 1: a host that ended without unloading the library is told of, at the next start, with
    // the newest copies of the drawings it was backing up. Keeps the journal while it is on.
    int32_t mRecoveryNotice = 0;
    bool AnyOn() const { return mSkipIdentical != 0 || mKeepCount > 0 || mKeepDays > 0 || mThinOut != 0; }
    bool operator==(const HousekeepingSettings& o) const {
        return mSkipIdentical == o.mSkipIdentical && mKeepCount == o.mKeepCount && mKeepDays == o.mKeepDays &&
               mThinOut == o.mThinOut && mQuietFailures == o.mQuietFailures && mRecoveryNotice == o.mRecoveryNotice;
    }
    bool operator!=(const HousekeepingSettings& o) const { return !(*this == o); }
};
