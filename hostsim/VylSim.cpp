// Stand-in for the host's VylLib.dll: reports a drawing path, really saves a copy of
// that drawing file where it is asked to, and records (and optionally prints) every call.
#define VYLLIB_BUILDING
#include "VylSim.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

struct Call {
    int kind;
    std::wstring text;
    int value;
    const wchar_t* pointer;  // as the plug-in passed it
};

struct SimState {
    std::vector<Call> calls;
    std::wstring drawingPath;
    bool drawingNull = true;
    int registerResult = 1;
    bool saveCopies = true;
    bool echo = false;
    void (*messageBoxHook)(const wchar_t*) = nullptr;
    void (*saveHook)(const wchar_t*) = nullptr;
    VylInitHandler init = nullptr;
    VylSecondHandler second = nullptr;
    VylThirdHandler third = nullptr;
    VylExecuteHandler execute = nullptr;
};

SimState& State() {
    static SimState state;
    return state;
}

void Echo(const char* what, const std::wstring& text) {
    if (!State().echo) return;
    std::string line = "[host] ";
    line += what;
    if (!text.empty()) {
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string utf8(n, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
        line += ": ";
        line += utf8;
    }
    line += "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Record(int kind, const wchar_t* text, int value) {
    State().calls.push_back({kind, text ? text : L"", value, text});
}

}  // namespace

extern "C" {

int VylCtlRegisterVylLib2(VylInitHandler init, VylSecondHandler second, VylThirdHandler third) {
    SimState& s = State();
    s.init = init;
    s.second = second;
    s.third = third;
    Record(SimRegister, nullptr, s.registerResult);
    Echo("plug-in registered", L"");
    return s.registerResult;
}

int VylEvtSetEventMask(int mask) {
    Record(SimEventMask, nullptr, mask);
    Echo("event mask set", std::to_wstring(mask));
    return 0;
}

int VylMsgPutMessage(const wchar_t* text) {
    Record(SimPutMessage, text, 0);
    Echo("message line", text ? text : L"");
    return 0;
}

int VylCtlSetExecuteFunc(VylExecuteHandler handler, const wchar_t* text) {
    State().execute = handler;
    Record(SimSetExecute, text, 0);
    Echo("execute handler registered", L"");
    return 0;
}

int VylDlgMessageBox(const wchar_t* text) {
    Record(SimMessageBox, text, 0);
    Echo("message box", text ? text : L"");
    if (State().messageBoxHook) State().messageBoxHook(text);
    return IDOK;
}

const wchar_t* VylFilGetCadDrawingPath(void) {
    Record(SimGetDrawingPath, nullptr, 0);
    return State().drawingNull ? nullptr : State().drawingPath.c_str();
}

int VylFilSaveCadDrawingAsTmpFile(const wchar_t* target) {
    SimState& s = State();
    if (s.saveHook) s.saveHook(target);
    const bool saved = target && !s.drawingNull && !s.drawingPath.empty() &&
                       (!s.saveCopies || CopyFileW(s.drawingPath.c_str(), target, FALSE));
    const int result = saved ? 0 : -1;
    Record(SimSave, target, result);
    Echo(saved ? "drawing saved to" : "drawing NOT saved to", target ? target : L"");
    return result;
}

void SimReset(void) { State() = SimState(); }
void SimClearCalls(void) { State().calls.clear(); }

void SimSetDrawingPath(const wchar_t* path) {
    State().drawingNull = path == nullptr;
    State().drawingPath = path ? path : L"";
}

void SimSetRegisterResult(int result) { State().registerResult = result; }
void SimSetSaveCopies(int on) { State().saveCopies = on != 0; }
void SimSetEcho(int on) { State().echo = on != 0; }
void SimSetMessageBoxHook(void (*hook)(const wchar_t*)) { State().messageBoxHook = hook; }
void SimSetSaveHook(void (*hook)(const wchar_t*)) { State().saveHook = hook; }

int SimCallCount(void) { return static_cast<int>(State().calls.size()); }

int SimCountOf(int kind) {
    int n = 0;
    for (const Call& c : State().calls) n += c.kind == kind;
    return n;
}

int SimCallKindAt(int index) { return index >= 0 && index < SimCallCount() ? State().calls[index].kind : 0; }

int SimCallValueAt(int index) { return index >= 0 && index < SimCallCount() ? State().calls[index].value : 0; }

const wchar_t* SimCallTextAt(int index) {
    return index >= 0 && index < SimCallCount() ? State().calls[index].text.c_str() : L"";
}

const wchar_t* SimCallPointerAt(int index) {
    return index >= 0 && index < SimCallCount() ? State().calls[index].pointer : nullptr;
}

VylInitHandler SimInitHandler(void) { return State().init; }
VylSecondHandler SimSecondHandler(void) { return State().second; }
VylThirdHandler SimThirdHandler(void) { return State().third; }
VylExecuteHandler SimExecuteHandler(void) { return State().execute; }

}  // extern "C"
