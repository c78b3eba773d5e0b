// The host's library VylLib.dll: the plug-in's only channel to the host.
// Texts are NUL-terminated UTF-16 and stay owned by the side that passes them.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VYLLIB_BUILDING)
#define VYLAPI __declspec(dllexport)
#else
#define VYLAPI __declspec(dllimport)
#endif

// Handler forms. The plug-in reads no argument the host may pass to them.
typedef int (*VylInitHandler)(void);
typedef bool (*VylSecondHandler)(void);
typedef void (*VylThirdHandler)(void);
typedef int (*VylExecuteHandler)(int command);

// Greater than 0: the host accepted the plug-in.
VYLAPI int VylCtlRegisterVylLib2(VylInitHandler init, VylSecondHandler second, VylThirdHandler third);
VYLAPI int VylEvtSetEventMask(int mask);
// Shows the text as a message line.
VYLAPI int VylMsgPutMessage(const wchar_t* text);
VYLAPI int VylCtlSetExecuteFunc(VylExecuteHandler handler, const wchar_t* text);
// Shows the text in a message box; returns when the user closed it.
VYLAPI int VylDlgMessageBox(const wchar_t* text);
// The full path of the open drawing, empty (or null) when none is open. The host keeps the string.
VYLAPI const wchar_t* VylFilGetCadDrawingPath(void);
// Saves the open drawing to the target path; -1 means it was not saved there.
VYLAPI int VylFilSaveCadDrawingAsTmpFile(const wchar_t* target);

#ifdef __cplusplus
}
#endif
