// Resource and control identifiers of the settings dialog, shared by Varnholt.rc and the code.
#pragma once

#define IDD_VARNHOLT_DIALOG 12000

#define IDC_AUTO_BACKUP 12000     // check box: automatic backup on/off
#define IDC_CHOOSE_FOLDER 12001   // button: opens the folder browser
#define IDC_FOLDER 12002          // edit (always disabled): backup folder
#define IDC_INTERVAL 12003        // edit: interval in minutes
#define IDC_PREVIEW 12010         // bitmap static: picture of the chosen pattern
#define IDC_PATTERN_LIST 12011    // list view: the four naming patterns
#define IDC_MANAGE_BACKUPS 12012  // button: opens the backup management dialog

#define IDD_BACKUP_MANAGE 12020
#define IDC_SKIP_IDENTICAL 12021     // check box: no new copy when it equals the earlier one
#define IDC_KEEP_COUNT 12022         // edit: keep the newest N copies, 0 = all
#define IDC_KEEP_DAYS 12023          // edit: age limit in days, 0 = none
#define IDC_THIN_OUT 12024           // check box: one a day after a day, one a week after 30 days
#define IDC_RETENTION_PREVIEW 12025  // static: what the next backup would delete
#define IDC_LAST_BACKUP 12026        // static: the last backup of this run of the host
#define IDC_OPEN_FOLDER 12027        // button: shows the newest copy in the shell's file window
#define IDC_OPEN_FOLDER_NOTE 12028   // static: why the folder could not be shown
#define IDC_ADOPT_COPIES 12029       // button: registers the drawing's copies the journal does not know
#define IDC_COPY_LIST 12030          // button: opens the list of the open drawing's copies
#define IDC_RECOVERY_NOTICE 12031    // check box: tell of the newest copies after the host ended abnormally
#define IDC_QUIET_FAILURES 12032     // check box: a box for the first of failed saves in a row only

#define IDD_COPY_LIST 12040
#define IDC_COPY_ROWS 12041    // list view: one row per copy of the open drawing, newest first
#define IDC_COPY_SHOW 12042    // button: shows the selected copy in the shell's file window
#define IDC_COPY_BESIDE 12043  // button: copies the selected copy into the drawing's folder
#define IDC_COPY_NOTE 12044    // static: what the last action did, or why it could not

// Pattern n is illustrated by bitmap IDB_PATTERN_BASE + n.
#define IDB_PATTERN_BASE 12003
#define IDB_PATTERN_A 12004
#define IDB_PATTERN_B 12005
#define IDB_PATTERN_C 12006
#define IDB_PATTERN_D 12007
