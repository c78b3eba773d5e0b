// The plug-in's module-level objects, constructed in this order when the library is
// loaded and destroyed in reverse when it is unloaded.
#include "settings/PluginState.h"
#include "VarnholtApp.h"

namespace {
AFX_MODULE_STATE* const libraryModuleState = AfxGetStaticModuleState();
}

const std::wstring SettingsSection = L"Varnholt";

namespace {
BackupSettings pluginSettings;
HousekeepingSettings pluginHousekeeping;
}  // namespace

BackupSettings& PluginSettings() { return pluginSettings; }
HousekeepingSettings& PluginHousekeeping() { return pluginHousekeeping; }

CVarnholtApp theApp;
