// Fails fast on a modal window nobody expected, instead of hanging the test executable: while
// a test runs, a thread timer (dispatched by any modal loop) looks for visible dialogs of this
// thread that no ModalDriver step is waiting for. One that stays open for 2 s is reported with
// what it shows and closed, so the test ends with a failure and the next tests still run.
#include <gtest/gtest.h>

#include <windows.h>

#include "PluginHarness.h"

namespace {

constexpr DWORD kGraceMs = 2000;
DWORD firstSeen = 0;
UINT_PTR guardTimer = 0;

void CALLBACK GuardTick(HWND, UINT, UINT_PTR, DWORD) {
    const std::vector<HWND> open = OpenDialogs();
    if (ModalDriverWaiting() || open.empty()) {
        firstSeen = 0;
        return;
    }
    const DWORD now = GetTickCount();
    if (firstSeen == 0) {
        firstSeen = now;
        return;
    }
    if (now - firstSeen < kGraceMs) return;
    for (HWND w : open) {
        ADD_FAILURE() << "a window nobody expected stayed open for 2 s and was closed: " << DescribeWindow(w);
        EndDialog(w, IDCANCEL);
    }
    firstSeen = 0;
}

class ModalGuard : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        firstSeen = 0;
        guardTimer = SetTimer(nullptr, 0, 100, GuardTick);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        KillTimer(nullptr, guardTimer);
        guardTimer = 0;
    }
};

const bool installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ModalGuard);
    return true;
}();

}  // namespace
