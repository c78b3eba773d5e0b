// The backup management dialog: the housekeeping options with a live preview of what the
// next backup would delete, the last backup of this run of the host, and a button that shows
// the backup folder. It works on its own copy of the options and deletes nothing itself.
#pragma once
#include <string>
#include <vector>

#include "backup/Adoption.h"
#include "backup/Housekeeping.h"
#include "framework/Afx.h"
#include "settings/HousekeepingSettings.h"

class BackupManageDlg : public CDialog {
    DECLARE_DYNAMIC(BackupManageDlg)
public:
    explicit BackupManageDlg(CWnd* parent = nullptr);

    HousekeepingSettings mValues;  // in: what to show; out after IDOK: what the user chose
    std::wstring mFolder;          // the backup folder the settings dialog shows

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnOptionChanged();
    void OnOpenFolder();
    void OnAdoptCopies();
    void OnCopyList();

    DECLARE_MESSAGE_MAP()

private:
    // Reads the boxes as they are; false when one holds no integer from 0 to 2147483647.
    bool RulesShown(RetentionRules& rules) const;
    void UpdatePreview();

    bool ready_ = false;       // the boxes are filled; changes from now on are the user's
    bool hasDrawing_ = false;  // the host reported an open drawing
    DrawingKey drawing_;
    // Matches the listing to the journal, once, the first time an option is ticked.
    void MatchJournal();

    bool folderListed_ = false;
    std::wstring drawingPath_;
    std::vector<BackupCopy> copies_;  // the open drawing's copies, found when the dialog opened
    bool matched_ = false;
    bool journalRead_ = false;
    AdoptionGroups groups_;  // those copies as the journal sees them
};

// The last-backup line for an outcome of the backup run.
std::wstring LastBackupText();
