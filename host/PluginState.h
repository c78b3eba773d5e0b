// The plug-in's module-level settings, alive while the library is loaded.
#pragma once
#include <string>

#include "settings/BackupSettings.h"

// The settings section name, "Varnholt".
extern const std::wstring SettingsSection;

// The plug-in's own record: 0, 0, empty, 0 until Startup loads it.
BackupSettings& PluginSettings();
