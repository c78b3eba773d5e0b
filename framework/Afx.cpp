#include "Afx.h"

#include <cwchar>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The process's own state: the host program's module.
AFX_MODULE_STATE& ProcessState() {
    static AFX_MODULE_STATE state{GetModuleHandleW(nullptr), GetModuleHandleW(nullptr), nullptr};
    return state;
}

// The plug-in lives on the host's one user-interface thread.
AFX_MODULE_STATE* currentState = nullptr;

}  // namespace

AFX_MODULE_STATE* AfxGetModuleState() { return currentState ? currentState : &ProcessState(); }

AFX_MODULE_STATE* AfxGetStaticModuleState() {
    static AFX_MODULE_STATE state{reinterpret_cast<HINSTANCE>(&__ImageBase), reinterpret_cast<HINSTANCE>(&__ImageBase),
                                  nullptr};
    return &state;
}

AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state) {
    AFX_MODULE_STATE* previous = AfxGetModuleState();
    currentState = state;
    return previous;
}

HINSTANCE AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }

HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type) {
    const HINSTANCE module = AfxGetResourceHandle();
    return FindResourceW(module, name, type) ? module : nullptr;
}

// A library's application object answers for its module even while another state is
// current: the host thread has no thread object of the library's own.
CWinApp* AfxGetApp() {
    CWinApp* app = AfxGetModuleState()->m_pCurrentWinApp;
    return app ? app : AfxGetStaticModuleState()->m_pCurrentWinApp;
}

CWinThread* AfxGetThread() { return AfxGetApp(); }

// ---- CObject / CCmdTarget -----------------------------------------------------------

const CRuntimeClass CObject::classCObject = {"CObject", nullptr, nullptr};
const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == base) return true;
    return false;
}

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}
const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::DispatchCommand(UINT code, UINT id) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nMessage; ++e)
            if (e->nMessage == WM_COMMAND && e->nCode == code && e->nID == id) {
                (this->*e->pfnCommand)();
                return true;
            }
    return false;
}

bool CCmdTarget::DispatchNotify(NMHDR* header, LRESULT* result) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nMessage; ++e)
            if (e->nMessage == WM_NOTIFY && e->nCode == header->code && e->nID == header->idFrom) {
                (this->*e->pfnNotify)(header, result);
                return true;
            }
    return false;
}

// ---- Threads and the application ---------------------------------------------------

CWnd* CWinThread::GetMainWnd() {
    if (m_pMainWnd) return m_pMainWnd;
    static CWnd active;
    active.m_hWnd = GetActiveWindow();
    return active.m_hWnd ? &active : nullptr;
}

BOOL CWinThread::InitInstance() { return FALSE; }
int CWinThread::ExitInstance() { return 0; }

CWinApp::CWinApp(LPCWSTR appName) {
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    state->m_pCurrentWinApp = this;
    if (appName) {
        m_strAppName = appName;
    } else {
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameW(state->m_hCurrentInstanceHandle, path, MAX_PATH);
        std::wstring name = path;
        name = name.substr(name.find_last_of(L"\\/") + 1);
        m_strAppName = name.substr(0, name.rfind(L'.'));
    }
}

CWinApp::~CWinApp() {
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    if (state->m_pCurrentWinApp == this) state->m_pCurrentWinApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

const AFX_MSGMAP* CWinApp::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, entries};
    return &map;
}
const AFX_MSGMAP* CWinApp::GetMessageMap() const { return GetThisMessageMap(); }

// ---- Data exchange ------------------------------------------------------------------

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    if (pDX->m_bFailed) return;
    if (pDX->m_bSaveAndValidate)
        value = SendMessageW(pDX->Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    else
        SendMessageW(pDX->Control(id), BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

namespace {

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(length + 1, L'\0');
    text.resize(GetWindowTextW(window, text.data(), length + 1));
    return text;
}

}  // namespace

// Optional blanks, an optional sign, decimal digits, optional blanks: nothing else, and
// the value must fit a 32-bit signed integer.
bool AfxParseInt(const std::wstring& text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    const std::size_t digits = i;
    long long v = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        v = v * 10 + (text[i] - L'0');
        if (v > 2147483648LL) return false;
    }
    if (i == digits) return false;
    while (i < text.size() && iswspace(text[i])) ++i;
    if (i != text.size()) return false;
    if (negative) v = -v;
    if (v > 2147483647LL) return false;
    value = static_cast<int>(v);
    return true;
}

void CDataExchange::Fail(int id, const wchar_t* prompt) {
    CWinApp* app = AfxGetApp();
    MessageBoxW(m_pDlgWnd->m_hWnd, prompt, app ? app->m_strAppName.c_str() : L"", MB_OK | MB_ICONEXCLAMATION);
    HWND box = Control(id);
    SetFocus(box);
    SendMessageW(box, EM_SETSEL, 0, -1);
    m_bFailed = true;
}

void DDX_Text(CDataExchange* pDX, int id, int& value) {
    if (pDX->m_bFailed) return;
    HWND box = pDX->Control(id);
    pDX->m_idLastControl = id;
    if (!pDX->m_bSaveAndValidate) {
        SetWindowTextW(box, std::to_wstring(value).c_str());
        return;
    }
    if (!AfxParseInt(WindowText(box), value)) pDX->Fail(id, L"Please enter an integer.");
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minimum, int maximum) {
    if (pDX->m_bFailed || !pDX->m_bSaveAndValidate || (value >= minimum && value <= maximum)) return;
    const std::wstring prompt =
        L"Please enter an integer between " + std::to_wstring(minimum) + L" and " + std::to_wstring(maximum) + L".";
    pDX->Fail(pDX->m_idLastControl, prompt.c_str());
}

void DDX_Text(CDataExchange* pDX, int id, std::wstring& value) {
    if (pDX->m_bFailed) return;
    if (pDX->m_bSaveAndValidate)
        value = WindowText(pDX->Control(id));
    else
        SetWindowTextW(pDX->Control(id), value.c_str());
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (!control.m_hWnd) control.m_hWnd = pDX->Control(id);
}

// ---- CDialog ----------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CDialog, CObject)

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}
CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEW(templateId_), MAKEINTRESOURCEW(5) /*RT_DIALOG*/);
    if (!module) return -1;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HWND owner = parent_ ? parent_->m_hWnd : nullptr;
    if (!owner) {
        CWinThread* thread = AfxGetThread();
        CWnd* main = thread ? thread->GetMainWnd() : nullptr;
        owner = main ? main->m_hWnd : nullptr;
    }
    const INT_PTR result =
        DialogBoxParamW(module, MAKEINTRESOURCEW(templateId_), owner, DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return dx.m_bFailed ? FALSE : TRUE;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

const AFX_MSGMAP* CDialog::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, entries};
    return &map;
}
const AFX_MSGMAP* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

namespace {
void CenterOnOwner(HWND dialog) {
    RECT box, area;
    GetWindowRect(dialog, &box);
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner || !IsWindowVisible(owner) || IsIconic(owner) || !GetWindowRect(owner, &area))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int w = box.right - box.left, h = box.bottom - box.top;
    SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        CenterOnOwner(window);
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog) return FALSE;
    switch (message) {
    case WM_COMMAND: {
        const UINT code = HIWORD(wParam), id = LOWORD(wParam);
        if (dialog->DispatchCommand(code, id)) return TRUE;
        if (code == BN_CLICKED && id == IDOK) return dialog->OnOK(), TRUE;
        if (code == BN_CLICKED && id == IDCANCEL) return dialog->OnCancel(), TRUE;
        return FALSE;
    }
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!dialog->DispatchNotify(reinterpret_cast<NMHDR*>(lParam), &result)) return FALSE;
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_DESTROY:
        dialog->OnDestroy();
        return FALSE;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, DWLP_USER, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

// ---- CListCtrl --------------------------------------------------------------------

int CListCtrl::InsertColumn(int column, LPCWSTR heading, int format, int width) {
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    c.fmt = format;
    c.cx = width;
    c.pszText = const_cast<LPWSTR>(heading);
    return (int)SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
}

int CListCtrl::InsertItem(int item, LPCWSTR text) {
    LVITEMW it{};
    it.mask = LVIF_TEXT;
    it.iItem = item;
    it.pszText = const_cast<LPWSTR>(text);
    return (int)SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCWSTR text) {
    LVITEMW it{};
    it.iSubItem = subItem;
    it.pszText = const_cast<LPWSTR>(text);
    return (BOOL)SendMessageW(m_hWnd, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&it));
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEMW it{};
    it.stateMask = mask;
    it.state = state;
    return (BOOL)SendMessageW(m_hWnd, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&it));
}

void CListCtrl::ModifyStyle(DWORD remove, DWORD add) {
    const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(remove)) | add);
}
