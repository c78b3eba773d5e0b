#pragma once
#include <windows.h>

#include <string>

// Writes what `window` shows on the screen to a 24-bit BMP file. False on failure.
bool SaveWindowScreenshot(HWND window, const std::wstring& path);
