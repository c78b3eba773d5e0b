// The small subset of the Windows application framework that the plug-in is written
// against: module state, run-time class information, message maps, the application
// and thread objects, windows, modal dialogs with data exchange, and list controls.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

class CObject;
class CCmdTarget;
class CWnd;
class CWinThread;
class CWinApp;

// ---- Module state -----------------------------------------------------------------

// Which module's resources and application object are current on this thread.
struct AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle = nullptr;
    HINSTANCE m_hCurrentResourceHandle = nullptr;
    CWinApp* m_pCurrentWinApp = nullptr;
};

// The state that is current on the calling thread (the host's process state unless a
// library made its own current).
AFX_MODULE_STATE* AfxGetModuleState();
// This library's own state: its instance handle, resources and application object.
AFX_MODULE_STATE* AfxGetStaticModuleState();
// Makes `state` current on this thread and returns the one it replaces.
AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state);

// Makes a module state current for a scope and restores the previous one on every way out.
class AFX_MAINTAIN_STATE2 {
public:
    explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : previous_(AfxSetModuleState(state)) {}
    ~AFX_MAINTAIN_STATE2() { AfxSetModuleState(previous_); }
    AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
    AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

private:
    AFX_MODULE_STATE* previous_;
};
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _ctlState(p)

// The resource module of the current state.
HINSTANCE AfxGetResourceHandle();
// The current state's resource module if it holds the resource, else null.
HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type);
CWinApp* AfxGetApp();
CWinThread* AfxGetThread();

// ---- Run-time class information ---------------------------------------------------

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    CObject* (*m_pfnCreateObject)();  // null: not creatable dynamically
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(name) (&name::class##name)
#define DECLARE_DYNAMIC(name)               \
public:                                     \
    static const CRuntimeClass class##name; \
    const CRuntimeClass* GetRuntimeClass() const override;
#define IMPLEMENT_DYNAMIC(name, base)                                              \
    const CRuntimeClass name::class##name = {#name, RUNTIME_CLASS(base), nullptr}; \
    const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }

class CObject {
public:
    static const CRuntimeClass classCObject;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    bool IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }
};

// ---- Message maps -----------------------------------------------------------------

using AFX_PMSG = void (CCmdTarget::*)();
using AFX_PNOTIFY = void (CCmdTarget::*)(NMHDR*, LRESULT*);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // WM_COMMAND or WM_NOTIFY; 0 ends the table
    UINT nCode;     // notification code
    UINT nID;       // control id
    AFX_PMSG pfnCommand;
    AFX_PNOTIFY pfnNotify;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        typedef theClass ThisClass;                                                   \
        typedef baseClass TheBaseClass;                                               \
        (void)sizeof(ThisClass*);                                                     \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                      \
    { 0, 0, 0, nullptr, nullptr }                                              \
    }                                                                          \
    ;                                                                          \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                               \
    }

#define ON_CONTROL(code, id, fn) {WM_COMMAND, (UINT)(code), (UINT)(id), static_cast<AFX_PMSG>(&ThisClass::fn), nullptr},
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_NOTIFY(code, id, fn) \
    {WM_NOTIFY, (UINT)(code), (UINT)(id), nullptr, static_cast<AFX_PNOTIFY>(&ThisClass::fn)},

class CCmdTarget : public CObject {
public:
    // Runs the handler the message map chain names for a control's notification;
    // false when no entry matches.
    bool DispatchCommand(UINT code, UINT id);
    bool DispatchNotify(NMHDR* header, LRESULT* result);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

// ---- Windows, threads, the application ----------------------------------------------

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;  // not owned: the window's owner destroys it
    HWND GetSafeHwnd() const { return m_hWnd; }
};

class CWinThread : public CCmdTarget {
public:
    CWnd* m_pMainWnd = nullptr;
    // The thread's main window; without one, the thread's active window (or null).
    virtual CWnd* GetMainWnd();
    virtual BOOL InitInstance();
    virtual int ExitInstance();
};

class CWinApp : public CWinThread {
public:
    // Registers itself as the application object of this library's module state.
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;
    BOOL InitInstance() override;
    std::wstring m_strAppName;  // the module's file name without extension when none is given

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;
};

// ---- Dialogs and data exchange ------------------------------------------------------

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    bool m_bFailed = false;   // set by a failed exchange; later exchanges do nothing
    int m_idLastControl = 0;  // the box the last text exchange read, for the checks after it
    HWND Control(int id) const { return GetDlgItem(m_pDlgWnd->m_hWnd, id); }
    // Shows `prompt`, puts the focus back into control `id` with its text selected and fails the exchange.
    void Fail(int id, const wchar_t* prompt);
};

void DDX_Check(CDataExchange* pDX, int id, int& value);
// The integer text rule of the exchange below: optional blanks, an optional sign, decimal
// digits, optional blanks, and a value that fits a 32-bit signed integer.
bool AfxParseInt(const std::wstring& text, int& value);
// Signed decimal integer; text that is not one (or is out of range) shows the standard
// prompt, puts the focus back into the box and fails the exchange.
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, std::wstring& value);
// After a DDX_Text of an integer: a value outside [minimum, maximum] shows the standard range
// prompt, puts the focus back into that box and fails the exchange.
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minimum, int maximum);
// Attaches `control` to the dialog's child `id` on the first exchange.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;
    // IDOK or IDCANCEL as the dialog ended; -1 when it could not be created.
    virtual INT_PTR DoModal();
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    void EndDialog(int result);

protected:
    virtual BOOL OnInitDialog();  // exchanges towards the controls; TRUE
    virtual void OnOK();          // exchanges towards the members and ends with IDOK if that succeeded
    virtual void OnCancel();      // ends with IDCANCEL
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnDestroy() {}  // on WM_DESTROY, while the controls still exist
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT templateId_;
    CWnd* parent_;
};

// ---- List control -----------------------------------------------------------------

// Thin wrapper over a list-view control; the dialog owns the window.
class CListCtrl : public CWnd {
public:
    DWORD SetExtendedStyle(DWORD style) { return (DWORD)SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style); }
    int InsertColumn(int column, LPCWSTR heading, int format, int width);
    int InsertItem(int item, LPCWSTR text);
    BOOL SetItemText(int item, int subItem, LPCWSTR text);
    int SetSelectionMark(int item) { return (int)SendMessageW(m_hWnd, LVM_SETSELECTIONMARK, 0, item); }
    BOOL SetItemState(int item, UINT state, UINT mask);
    void ModifyStyle(DWORD remove, DWORD add);
};
