// The plug-in's module-level settings, alive while the library is loaded. The objects are
// defined with the other module-level objects of the host integration.
#pragma once
#include <string>

#include "BackupSettings.h"
#include "HousekeepingSettings.h"

// The settings section name, "Varnholt".
extern const std::wstring SettingsSection;

// The plug-in's own record: 0, 0, empty, 0 until Startup loads it.
BackupSettings& PluginSettings();
// The housekeeping options the backup run applies: all off until Startup loads them.
HousekeepingSettings& PluginHousekeeping();
