// The modal settings dialog: works on its own copy of the settings, loaded from the
// registry when it opens.
#pragma once
#include <cstdint>
#include <string>

#include "framework/Afx.h"
#include "settings/HousekeepingSettings.h"

class VarnholtDlg : public CDialog {
    DECLARE_DYNAMIC(VarnholtDlg)
public:
    VarnholtDlg();
    ~VarnholtDlg() override;

    std::wstring mSection;
    int mIsAutoBackup = 0;
    int mTime = 0;
    std::wstring mFolder;
    int mMainItemNo;
    CListCtrl mPatternList;
    // The housekeeping options as loaded when the dialog opened, and as the backup management
    // dialog last handed them back.
    HousekeepingSettings mHousekeepingLoaded;
    HousekeepingSettings mHousekeeping;

    // Shows the picture of pattern 1 to 4; any other number leaves the picture as it is.
    // The picture control owns the bitmap it shows; the one it replaces is deleted.
    void ShowPatternPreview(int n);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Deletes the bitmap the picture control still shows: the control does not.
    void OnDestroy() override;

    void OnAutoBackupClicked();
    void OnPatternListClick(NMHDR* header, LRESULT* result);
    void OnIntervalKillFocus();
    void OnBrowseFolder();
    void OnManageBackups();

    DECLARE_MESSAGE_MAP()
};

// The host's execute handler: code 7 runs the settings dialog and returns 0; any other
// code returns 3 and does nothing.
extern "C" int OnExecuteCommand(int command);
