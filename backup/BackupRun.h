// One timed backup of the drawing open in the host.
#pragma once
#include <windows.h>

#include <string>

#include "BackupPath.h"

// Fills the six fields from one reading of the clock in local time; always returns 1.
int FillDateStamp(DateStamp& stamp);

// Attempts CreateDirectoryW on every folder along the target path (with '/'
// separators), ignoring outcomes. Returns the number of attempts.
int MakeDirectoryChain(std::wstring path);

// Timer procedure: one backup run with the plug-in's current settings. A tick that
// arrives while an earlier run is still inside a host call is skipped.
void CALLBACK RunBackup(HWND window, UINT message, UINT_PTR timerId, DWORD tickCount);
