#include "FolderPicker.h"

#include "framework/Afx.h"
#include "framework/UniqueHandle.h"

int CALLBACK BrowseForFolderCallback(HWND browser, UINT message, LPARAM lParam, LPARAM lpData) {
    if (message == BFFM_INITIALIZED) {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, lpData);
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = {};
        SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path);
        SendMessageW(browser, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

int BrowseForFolder(HWND owner, const std::wstring& title, std::wstring& path) {
    if (!owner) {
        CWinThread* thread = AfxGetThread();
        CWnd* main = thread ? thread->GetMainWnd() : nullptr;
        owner = main ? main->m_hWnd : nullptr;
    }
    wchar_t displayName[MAX_PATH] = L"";
    const std::wstring entry = path;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseForFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(entry.c_str());

    const unique_pidl chosen(SHBrowseForFolderW(&info));
    wchar_t buffer[MAX_PATH] = L"";
    if (chosen && SHGetPathFromIDListW(chosen.get(), buffer)) {
        path = buffer;
        return 1;
    }
    path.clear();
    return -1;
}
