// The framework subset and the folder picker's callback, linked straight into the test.
// This executable carries none of the plug-in's resources.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "WinTestUtil.h"
#include "framework/Afx.h"
#include "hostsim/VylSim.h"
#include "ui/FolderPicker.h"
#include "ui/VarnholtDlg.h"

namespace {

TEST(ModuleStateTest, ManagedStateIsRestoredOnEveryWayOut) {
    AFX_MODULE_STATE* outer = AfxGetModuleState();
    AFX_MODULE_STATE other;
    {
        AFX_MANAGE_STATE(&other);
        EXPECT_EQ(AfxGetModuleState(), &other);
        {
            AFX_MANAGE_STATE(AfxGetStaticModuleState());
            EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
        }
        EXPECT_EQ(AfxGetModuleState(), &other);
    }
    EXPECT_EQ(AfxGetModuleState(), outer);
    try {
        AFX_MANAGE_STATE(&other);
        throw std::runtime_error("leaves the scope");
    } catch (const std::exception&) {
    }
    EXPECT_EQ(AfxGetModuleState(), outer);
}

TEST(DialogTest, MissingTemplateCountsAsCancel) {
    EXPECT_EQ(CDialog(54321).DoModal(), -1);

    // The execute handler then saves nothing and shows nothing.
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Quarnstead\\VYL\\Varnholt");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Quarnstead\\VYL\\Varnholt");
    SimReset();
    EXPECT_EQ(OnExecuteCommand(7), 0);
    EXPECT_EQ(SimCallCount(), 0);
    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quarnstead\\VYL\\Varnholt", 0, KEY_READ, &key),
              ERROR_SUCCESS);
}

TEST(RuntimeClassTest, DialogReportsItsClassButCannotBeCreated) {
    VarnholtDlg dialog;
    const CRuntimeClass* cls = dialog.GetRuntimeClass();
    EXPECT_STREQ(cls->m_lpszClassName, "VarnholtDlg");
    EXPECT_EQ(cls->m_pBaseClass, RUNTIME_CLASS(CDialog));
    EXPECT_EQ(cls->m_pfnCreateObject, nullptr);
    EXPECT_TRUE(dialog.IsKindOf(RUNTIME_CLASS(CDialog)));
    EXPECT_EQ(dialog.mSection, L"Varnholt");
    EXPECT_EQ(dialog.mFolder, L"");
    EXPECT_EQ(dialog.mMainItemNo, 1);
}

// A window that records what the folder browser's callback sends it.
struct Sent {
    UINT message;
    WPARAM wParam;
    std::wstring text;
};
std::vector<Sent> sent;
LRESULT CALLBACK RecordProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == BFFM_SETSELECTIONW || m == BFFM_SETSTATUSTEXTW) {
        sent.push_back({m, wp, reinterpret_cast<const wchar_t*>(lp)});
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

TEST(FolderPickerTest, CallbackSelectsTheEntryPathAndShowsEachPath) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BrowserStandIn";
    RegisterClassW(&wc);
    HWND browser = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(browser, nullptr);
    sent.clear();

    const std::wstring entry = L"C:\\windows";
    EXPECT_EQ(BrowseForFolderCallback(browser, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(entry.c_str())), 0);

    PIDLIST_ABSOLUTE windows = nullptr, computer = nullptr;
    ASSERT_EQ(SHParseDisplayName(L"C:\\windows", nullptr, &windows, 0, nullptr), S_OK);
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    EXPECT_EQ(BrowseForFolderCallback(browser, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(windows), 0), 0);
    EXPECT_EQ(BrowseForFolderCallback(browser, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(computer), 0), 0);
    EXPECT_EQ(BrowseForFolderCallback(browser, BFFM_VALIDATEFAILEDW, 0, 0), 0);
    CoTaskMemFree(windows);
    CoTaskMemFree(computer);
    DestroyWindow(browser);

    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].message, static_cast<UINT>(BFFM_SETSELECTIONW));
    EXPECT_EQ(sent[0].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(sent[0].text, entry);
    EXPECT_EQ(sent[1].message, static_cast<UINT>(BFFM_SETSTATUSTEXTW));
    EXPECT_EQ(sent[1].wParam, 0u);
    EXPECT_EQ(_wcsicmp(sent[1].text.c_str(), L"C:\\windows"), 0);
    EXPECT_EQ(sent[2].text, L"");  // an item outside the file system
}

}  // namespace
