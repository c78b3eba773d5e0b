// Makes one backup of a drawing through RunBackup in each naming pattern, with the
// stand-in host library reporting the drawing and saving the copies.
#include <windows.h>

#include "backup/BackupRun.h"
#include "host/PluginState.h"
#include "hostsim/VylSim.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    SimSetEcho(1);
    SimSetDrawingPath(argv[1]);
    PluginSettings() = BackupSettings{1, 30, argv[2], 1};
    for (int pattern = 1; pattern <= 4; ++pattern) {
        PluginSettings().mMainItemNo = pattern;
        RunBackup(nullptr, WM_TIMER, 1, 0);
    }
    return 0;
}
