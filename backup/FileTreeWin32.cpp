#include "FileTreeWin32.h"

#include <windows.h>

#include "framework/UniqueHandle.h"

namespace {

EntryKind KindOf(DWORD attributes) {
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) return EntryKind::Other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Directory : EntryKind::File;
}

uint64_t Join(DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; }

}  // namespace

bool Win32FileTree::List(const std::wstring& folder, std::vector<TreeEntry>& out) {
    out.clear();
    WIN32_FIND_DATAW fd;
    const unique_find find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                            nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return false;
    do {
        if (fd.cFileName[0] == L'.' &&
            (fd.cFileName[1] == L'\0' || (fd.cFileName[1] == L'.' && fd.cFileName[2] == L'\0')))
            continue;
        out.push_back({fd.cFileName, KindOf(fd.dwFileAttributes), Join(fd.nFileSizeHigh, fd.nFileSizeLow),
                       Join(fd.ftLastWriteTime.dwHighDateTime, fd.ftLastWriteTime.dwLowDateTime)});
    } while (FindNextFileW(find.get(), &fd));
    return true;
}

bool Win32FileTree::StatFile(const std::wstring& path, TreeEntry& out) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        KindOf(data.dwFileAttributes) != EntryKind::File)
        return false;
    out.name.clear();
    out.kind = EntryKind::File;
    out.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    out.writeTime = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool Win32FileTree::DigestFile(const std::wstring& path, FileDigest& out) {
    // Shared for everything: reading must never stand in the host's or a user's way.
    const unique_file file(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info) || KindOf(info.dwFileAttributes) != EntryKind::File)
        return false;
    buffer_.resize(1 << 20);
    FileDigester digester;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr)) return false;
        if (got == 0) break;
        digester.Update(buffer_.data(), got);
    }
    out = digester.Finish();
    return true;
}

RemoveOutcome Win32FileTree::RemoveFile(const std::wstring&, const std::wstring& path, const TreeEntry& seen) {
    TreeEntry now;
    if (!StatFile(path, now)) return RemoveOutcome::Gone;
    if (now.size != seen.size || now.writeTime != seen.writeTime) return RemoveOutcome::Changed;
    if (DeleteFileW(path.c_str())) return RemoveOutcome::Removed;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RemoveOutcome::Gone : RemoveOutcome::Failed;
}

bool Win32FileTree::RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity&) {
    // A folder that is not empty, or is a link, stays: RemoveDirectoryW removes only empty ones.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (path.size() <= root.size() || attributes == INVALID_FILE_ATTRIBUTES ||
        KindOf(attributes) != EntryKind::Directory)
        return false;
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

namespace {
int SystemNameOrder(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) -
           CSTR_EQUAL;
}
}  // namespace

NameOrder Win32FileTree::Order() const { return SystemNameOrder; }
