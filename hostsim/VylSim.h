// Control functions of the stand-in host library. Only tests and the stand-in host
// program call these; the plug-in calls nothing but the seven host functions.
#pragma once
#include "host/VylLib.h"

#ifdef __cplusplus
extern "C" {
#endif

enum SimCallKind {
    SimRegister = 1,    // value: the result returned
    SimEventMask = 2,   // value: the mask
    SimPutMessage = 3,  // text: the message line
    SimSetExecute = 4,  // text: the string passed with the handler
    SimMessageBox = 5,  // text: the box's text
    SimGetDrawingPath = 6,
    SimSave = 7,  // text: the target path; value: the result returned
};

// Forgets every record and hook; drawing path none, registration result 1, echo off.
VYLAPI void SimReset(void);
// Forgets the recorded calls only; settings, hooks and handlers stay.
VYLAPI void SimClearCalls(void);
// The path the host reports; null makes VylFilGetCadDrawingPath return a null pointer.
VYLAPI void SimSetDrawingPath(const wchar_t* path);
VYLAPI void SimSetRegisterResult(int result);
// 0: saves report success without writing anything (to measure the plug-in alone); 1: real copies (the default).
VYLAPI void SimSetSaveCopies(int on);
// Echo every call to standard output as UTF-8.
VYLAPI void SimSetEcho(int on);
// Called inside VylDlgMessageBox / VylFilSaveCadDrawingAsTmpFile with the text, before it returns.
VYLAPI void SimSetMessageBoxHook(void (*hook)(const wchar_t* text));
VYLAPI void SimSetSaveHook(void (*hook)(const wchar_t* target));

VYLAPI int SimCallCount(void);
VYLAPI int SimCountOf(int kind);
VYLAPI int SimCallKindAt(int index);
VYLAPI int SimCallValueAt(int index);
// The text recorded with call `index`; valid until the next Sim* or host call.
VYLAPI const wchar_t* SimCallTextAt(int index);
// The text pointer the plug-in passed with call `index`, as a host that keeps it would read it later.
VYLAPI const wchar_t* SimCallPointerAt(int index);

VYLAPI VylInitHandler SimInitHandler(void);
VYLAPI VylSecondHandler SimSecondHandler(void);
VYLAPI VylThirdHandler SimThirdHandler(void);
VYLAPI VylExecuteHandler SimExecuteHandler(void);

#ifdef __cplusplus
}
#endif
