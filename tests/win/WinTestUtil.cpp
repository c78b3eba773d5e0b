#include "WinTestUtil.h"

#include <algorithm>

namespace {
std::wstring TempFolder() {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    return temp;
}
}  // namespace

ScratchDir::ScratchDir() : ScratchDir(TempFolder()) {}

ScratchDir::ScratchDir(const std::wstring& parent) {
    static unsigned counter = 0;
    path_ = parent + L"vh" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(f);
    return out;
}

namespace {
void Walk(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((root + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring r = rel.empty() ? name : rel + L"\\" + name;
        out.push_back(r);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Walk(root + L"\\" + name, r, out);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}
}  // namespace

std::vector<std::wstring> ListTree(const std::wstring& root) {
    std::vector<std::wstring> out;
    Walk(root, L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

namespace {
// Under Wine every call that deletes by name reaches the target of a Unix link (DeleteFileW
// deletes the file a link names, RemoveDirectoryW the folder), and a link to a file does not
// even show as one. There the tree goes from the Unix side, whose rm never follows a link: a
// Unix program started from here has no handle to wait on, so the path is watched until it
// is gone (at most 5 s).
bool RemoveTreeFromUnix(const std::wstring& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return false;  // Windows: its calls remove a link itself
    char* name = unixName(path.c_str());
    if (!name) return false;
    std::wstring unix(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name, -1, unix.data(), static_cast<int>(unix.size()));
    HeapFree(GetProcessHeap(), 0, name);
    unix.resize(unix.size() - 1);
    std::wstring line = L"/bin/rm -rf -- \"" + unix + L"\"";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\rm", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process))
        return false;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    for (int i = 0; i < 500 && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
    return true;
}
}  // namespace

void RemoveTree(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES || RemoveTreeFromUnix(path)) return;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)  // a link: removed itself, never entered
                (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(child.c_str())
                                                                 : DeleteFileW(child.c_str());
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

std::string Utf8(const std::wstring& text) {
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

uintptr_t HandleProbe() {
    HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const auto value = reinterpret_cast<uintptr_t>(h);
    CloseHandle(h);
    return value;
}
