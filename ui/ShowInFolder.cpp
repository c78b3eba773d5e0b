#include "ShowInFolder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "backup/FileTreeWin32.h"
#include "framework/UniqueHandle.h"

namespace {

struct ItemListFreer {
    void operator()(PIDLIST_ABSOLUTE p) const { ILFree(p); }
};
using unique_item_list = unique_handle<PIDLIST_ABSOLUTE, ItemListFreer>;

// The shell's object needs COM on this thread; the host may have it already, in either model.
class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool ok_;
};

bool Explorer(const std::wstring& arguments) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace

bool ShowInShellWindow(const std::wstring& folder, const std::wstring& file) {
    if (!file.empty()) {
        {
            const ComScope com;
            const unique_item_list folderItem(ILCreateFromPathW(FolderToOpen(folder).c_str()));
            const unique_item_list fileItem(ILCreateFromPathW(file.c_str()));
            if (folderItem && fileItem) {
                PCUITEMID_CHILD selected = ILFindLastID(fileItem.get());
                if (SUCCEEDED(SHOpenFolderAndSelectItems(folderItem.get(), 1, &selected, 0))) return true;
            }
        }
        if (Explorer(L"/select,\"" + file + L"\"")) return true;
    }
    // A drive root goes unquoted: "C:\" would end in an escaped quote.
    const bool root = folder.empty() || folder.back() == L'\\' || folder.back() == L':';
    if (root) return Explorer(folder.empty() ? L"\\" : folder.back() == L':' ? folder + L"\\" : folder);
    return Explorer(L"\"" + folder + L"\"");
}
