// Resource and control identifiers of the settings dialog, shared by Varnholt.rc and the code.
#pragma once

#define IDD_VARNHOLT_DIALOG 12000

#define IDC_AUTO_BACKUP 12000    // check box: automatic backup on/off
#define IDC_CHOOSE_FOLDER 12001  // button: opens the folder browser
#define IDC_FOLDER 12002         // edit (always disabled): backup folder
#define IDC_INTERVAL 12003       // edit: interval in minutes
#define IDC_PREVIEW 12010        // bitmap static: picture of the chosen pattern
#define IDC_PATTERN_LIST 12011   // list view: the four naming patterns

// Pattern n is illustrated by bitmap IDB_PATTERN_BASE + n.
#define IDB_PATTERN_BASE 12003
#define IDB_PATTERN_A 12004
#define IDB_PATTERN_B 12005
#define IDB_PATTERN_C 12006
#define IDB_PATTERN_D 12007
