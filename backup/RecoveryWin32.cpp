#include "RecoveryWin32.h"

#include <windows.h>

#include <algorithm>

#include "framework/UniqueHandle.h"

namespace {

uint64_t Ticks(const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

bool CreationTime(HANDLE process, uint64_t& out) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
    out = Ticks(created);
    return true;
}

}  // namespace

SessionId CurrentSession() {
    static const SessionId self = [] {
        SessionId id;
        id.pid = GetCurrentProcessId();
        if (!CreationTime(GetCurrentProcess(), id.created)) id.created = 0;
        return id;
    }();
    return self;
}

bool SessionOver(const SessionId& session) {
    const unique_kernel process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, session.pid));
    // Not openable: no such process, or not one of this user's (which every host of the
    // session was).
    if (!process) return true;
    uint64_t created = 0;
    if (!CreationTime(process.get(), created) || created != session.created) return true;
    // An exited process can still be opened while a handle to it is held somewhere.
    return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

bool CopyGoodNow(const JournalRecord& record) {
    const unique_file file(CreateFileW(record.path.c_str(), FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return false;
    const FileIdentity id{info.dwVolumeSerialNumber,
                          static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    const uint64_t size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (id != record.id || size != record.size || Ticks(info.ftLastWriteTime) != record.writeTime || size == 0)
        return false;
    char head[4096];
    DWORD got = 0;
    if (!ReadFile(file.get(), head, sizeof head, &got, nullptr)) return false;
    return std::any_of(head, head + got, [](char c) { return c != 0; });
}

DrawingNow DrawingNowOf(const std::wstring& path) {
    DrawingNow now;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        now.state = DrawingNow::State::There;
        now.writeTime = Ticks(data.ftLastWriteTime);
    } else {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) now.state = DrawingNow::State::Missing;
    }
    return now;
}
