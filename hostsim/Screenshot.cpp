#include "Screenshot.h"

#include <string>

bool SaveWindowScreenshot(HWND window, const std::wstring& path) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD size = static_cast<DWORD>(((w * 3 + 3) & ~3) * h);
    const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    BITMAPFILEHEADER file{0x4D42, headers + size, 0, 0, headers};
    bool ok = false;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE && bits) {
        DWORD n = 0;
        ok = WriteFile(f, &file, sizeof file, &n, nullptr) &&
             WriteFile(f, &info.bmiHeader, sizeof info.bmiHeader, &n, nullptr) && WriteFile(f, bits, size, &n, nullptr);
    }
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}
