// The shell's folder browser, handing back a file-system path.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

// Shows the browser (modal) with `title` above its tree, highlighting `path` when it
// names a folder. Returns 1 and the chosen folder's path in `path`, or -1 and an empty
// `path` when cancelled or the item has no file-system path. A null owner means the
// current thread's main window.
int BrowseForFolder(HWND owner, const std::wstring& title, std::wstring& path);

// The browser's callback: selects the entry path (lpData) on BFFM_INITIALIZED and shows
// each newly highlighted item's path as status text. Always 0.
int CALLBACK BrowseForFolderCallback(HWND browser, UINT message, LPARAM lParam, LPARAM lpData);
