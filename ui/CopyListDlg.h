// The copies of the open drawing: one row per copy below the backup folder, newest first, with
// its state; shows a copy in the shell's file window or copies it beside the original drawing
// (the one file the plug-in writes on the user's command). Opening it lists the folders once
// and writes nothing; the journal is read only where its file exists.
#pragma once
#include <string>
#include <vector>

#include "backup/CopyList.h"
#include "framework/Afx.h"

class CopyListDlg : public CDialog {
    DECLARE_DYNAMIC(CopyListDlg)
public:
    explicit CopyListDlg(CWnd* parent = nullptr);

    std::wstring mFolder;  // the backup folder the settings dialog shows

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnRowsChanged(NMHDR* header, LRESULT* result);
    void OnShowInFolder();
    void OnCopyBesideOriginal();

    DECLARE_MESSAGE_MAP()

private:
    // The row selected in the list, or -1.
    int Selected() const;
    void UpdateButtons();
    void Note(const std::wstring& text);

    CListCtrl list_;
    std::wstring drawingPath_;
    bool drawingFolder_ = false;  // the drawing's path names a folder, and it is one
    std::vector<CopyRow> rows_;
};
