#include "FileTreeWin32.h"

#include <windows.h>
#include <winternl.h>

#include "framework/UniqueHandle.h"

namespace {

EntryKind KindOf(DWORD attributes) {
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) return EntryKind::Other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Directory : EntryKind::File;
}

uint64_t Join(DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; }

TreeEntry EntryOf(const HandleLook& look, DWORD volume, DWORD attributesByPath) {
    TreeEntry e;
    e.kind = KindOf(attributesByPath | look.attributes);
    e.size = look.size;
    e.writeTime = look.writeTime;
    e.id = FileIdentity{volume, look.index};
    return e;
}

// NtQueryInformationFile's FileInternalInformation: the file index alone.
bool FileIndexOf(HANDLE file, uint64_t& index) {
    using Query = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    constexpr int kFileInternalInformation = 6;
    LARGE_INTEGER number{};
    IO_STATUS_BLOCK io{};
    if (query && query(file, &io, &number, sizeof number, kFileInternalInformation) >= 0) {
        index = static_cast<uint64_t>(number.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    index = Join(info.nFileIndexHigh, info.nFileIndexLow);
    return true;
}

}  // namespace

bool LookThroughHandle(HANDLE file, HandleLook& out) {
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        !FileIndexOf(file, out.index))
        return false;
    out.attributes = basic.FileAttributes;
    out.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    out.writeTime = static_cast<uint64_t>(basic.LastWriteTime.QuadPart);
    return true;
}

bool VolumeSerialOf(HANDLE file, DWORD& serial) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    serial = info.dwVolumeSerialNumber;
    return true;
}

int SystemNameOrder(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) -
           CSTR_EQUAL;
}

void SystemNameFold(std::wstring& name) {
    // The system's own upcase table (what the ordinal comparison without regard to case
    // compares by, code unit by code unit); ntdll has it on every Windows and on Wine. Never
    // the locale's upper case (CharUpperBuffW), which may fold letters the file system keeps
    // apart. Without the table only ASCII is folded: names then match less, never more.
    using Upcase = WCHAR(WINAPI*)(WCHAR);
    static const auto upcase = reinterpret_cast<Upcase>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
    for (wchar_t& c : name) {
        if (c < 0x80)
            c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c;
        else if (upcase)
            c = upcase(c);
    }
}

std::wstring FolderToOpen(const std::wstring& folder) {
    // "E:" names the current folder on E:, not its root; "\\server\share" is opened as the
    // share's root folder too.
    if (folder.size() == 2 && folder[1] == L':') return folder + L'\\';
    if (folder.size() > 2 && folder[0] == L'\\' && folder[1] == L'\\') {
        const std::size_t share = folder.find(L'\\', 2);
        if (share != std::wstring::npos && share + 1 < folder.size() &&
            folder.find(L'\\', share + 1) == std::wstring::npos)
            return folder + L'\\';
    }
    return folder;
}

bool Win32FileTree::List(const std::wstring& folder, std::vector<TreeEntry>& out) {
    out.clear();
    // Listed through a handle, so that every entry comes with its file identity.
    const unique_file dir(CreateFileW(FolderToOpen(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION self;
    if (!dir || !GetFileInformationByHandle(dir.get(), &self) || !(self.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        lastError_ = dir ? ERROR_DIRECTORY : GetLastError();
        return false;
    }
    buffer_.resize(64 * 1024);
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
        if (!GetFileInformationByHandleEx(dir.get(), kind, buffer_.data(), static_cast<DWORD>(buffer_.size()))) {
            const DWORD error = GetLastError();
            if (error == ERROR_NO_MORE_FILES) return true;
            if (kind == FileIdBothDirectoryRestartInfo) return ListByName(folder, out);
            lastError_ = error;
            out.clear();
            return false;
        }
        for (std::size_t at = 0;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer_.data() + at);
            const std::wstring name(e->FileName, e->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
                out.push_back({name, KindOf(e->FileAttributes), static_cast<uint64_t>(e->EndOfFile.QuadPart),
                               static_cast<uint64_t>(e->LastWriteTime.QuadPart),
                               FileIdentity{self.dwVolumeSerialNumber, static_cast<uint64_t>(e->FileId.QuadPart)}});
            if (e->NextEntryOffset == 0) break;
            at += e->NextEntryOffset;
        }
    }
}

bool Win32FileTree::ListByName(const std::wstring& folder, std::vector<TreeEntry>& out) {
    out.clear();
    WIN32_FIND_DATAW fd;
    const unique_find find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                            nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        lastError_ = GetLastError();
        return false;
    }
    do {
        if (fd.cFileName[0] == L'.' &&
            (fd.cFileName[1] == L'\0' || (fd.cFileName[1] == L'.' && fd.cFileName[2] == L'\0')))
            continue;
        out.push_back({fd.cFileName, KindOf(fd.dwFileAttributes), Join(fd.nFileSizeHigh, fd.nFileSizeLow),
                       Join(fd.ftLastWriteTime.dwHighDateTime, fd.ftLastWriteTime.dwLowDateTime), FileIdentity{}});
    } while (FindNextFileW(find.get(), &fd));
    return true;
}

bool Win32FileTree::Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) {
    if (!FoldersOnTheWayAreReal(root, path)) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    // Read through a handle (size, time, identity); whether it is a link is seen by path,
    // since a handle to a linked folder may show its target.
    const unique_file handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle && Look(handle.get(), root, attributes, out);
}

bool Win32FileTree::DigestFile(const std::wstring& path, FileDigest& out) {
    // Shared for everything: reading must never stand in the host's or a user's way.
    const unique_file file(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    HandleLook look;
    if (!LookThroughHandle(file.get(), look) || KindOf(look.attributes) != EntryKind::File) return false;
    return DigestThrough(file.get(), out);
}

bool Win32FileTree::FlushFile(const std::wstring& path) {
    const unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && FlushFileBuffers(file.get()) != FALSE;
}

bool Win32FileTree::DigestThrough(HANDLE file, FileDigest& out) {
    buffer_.resize(256 * 1024);
    FileDigester digester;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr)) return false;
        if (got == 0) break;
        digester.Update(buffer_.data(), got);
    }
    out = digester.Finish();
    return true;
}

RemoveOutcome Win32FileTree::RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) {
    std::vector<unique_file> held;
    bool busy = false;
    // A folder someone else holds open for deleting is no sign that the copy is gone: tried again
    // later. A link or file standing for a folder on the way is another tree: left alone.
    if (!HoldFoldersOnTheWay(root, path, held, &busy))
        return busy                                ? RemoveOutcome::Failed
               : SomethingElseOnTheWay(root, path) ? RemoveOutcome::Changed
                                                   : RemoveOutcome::Gone;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return RemoveOutcome::Gone;
    const unique_file file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RemoveOutcome::Gone
                                                                              : RemoveOutcome::Failed;
    }
    return RemoveIfStill(file.get(), root, attributes, seen);  // when the handle closes, now
}

RemoveOutcome Win32FileTree::RemoveIfStill(HANDLE file, const std::wstring& root, DWORD attributesByPath,
                                           const TreeEntry& seen) {
    TreeEntry now;
    if (!Look(file, root, attributesByPath, now)) return RemoveOutcome::Failed;
    if (now.kind != EntryKind::File || (seen.id.Known() && now.id != seen.id) || now.size != seen.size ||
        now.writeTime != seen.writeTime)
        return RemoveOutcome::Changed;
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition))
        return RemoveOutcome::Failed;
    return RemoveOutcome::Removed;
}

bool Win32FileTree::RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) {
    std::vector<unique_file> held;
    return HoldFoldersOnTheWay(root, path, held) && RemoveFolderWhileHeld(root, path, seen);
}

bool Win32FileTree::RemoveFolderWhileHeld(const std::wstring& root, const std::wstring& path, const FileIdentity& seen,
                                          HANDLE folder) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || KindOf(attributes) != EntryKind::Directory) return false;
    unique_file opened;
    if (!folder) {
        opened.reset(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        folder = opened.get();
    }
    TreeEntry now;
    if (!folder || !Look(folder, root, attributes, now)) return false;
    if (seen.Known() && now.id != seen) return false;
    // Refused for a folder that is not empty; it goes when its last handle closes.
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(folder, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

std::vector<uint64_t> Win32FileTree::FolderIndexes(const std::wstring&, const std::wstring& path, int depth) {
    // Each folder opened once for its index; whether it is a link was seen by the Stat before.
    std::vector<uint64_t> indexes(depth > 0 ? static_cast<std::size_t>(depth) : 0, 0);
    std::wstring folder = path;
    for (std::size_t k = indexes.size(); k-- > 0;) {
        const std::size_t sep = folder.rfind(L'\\');
        if (sep == std::wstring::npos) break;
        folder.resize(sep);
        const unique_file handle(
            CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        HandleLook look;
        if (handle && LookThroughHandle(handle.get(), look) && (look.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            indexes[k] = look.index;
    }
    return indexes;
}

bool Win32FileTree::Look(HANDLE handle, const std::wstring& root, DWORD attributesByPath, TreeEntry& out) {
    HandleLook look;
    if (!LookThroughHandle(handle, look)) return false;
    // Asked of the volume once for each tree and root: a serial number known only by a folder's
    // index (an inode under Wine, which another volume may have too) is never taken.
    if (!volumeKnown_ || SystemNameOrder(volumeRoot_, root) != 0) {
        DWORD serial = 0;
        if (!VolumeSerialOf(handle, serial)) return false;
        volumeRoot_ = root;
        volumeSerial_ = serial;
        volumeKnown_ = true;
    }
    out = EntryOf(look, volumeSerial_, attributesByPath);
    return true;
}

bool Win32FileTree::SomethingElseOnTheWay(const std::wstring& root, const std::wstring& path) {
    for (std::size_t p = path.find(L'\\', root.size() + 1); p != std::wstring::npos; p = path.find(L'\\', p + 1)) {
        const DWORD attributes = GetFileAttributesW(path.substr(0, p).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;  // missing from here on
        if (KindOf(attributes) != EntryKind::Directory) return true;
    }
    return false;
}

bool Win32FileTree::FoldersOnTheWayAreReal(const std::wstring& root, const std::wstring& path) {
    if (path.size() <= root.size() + 1 || path[root.size()] != L'\\' ||
        SystemNameOrder(path.substr(0, root.size()), root) != 0)
        return false;
    for (std::size_t p = path.find(L'\\', root.size() + 1); p != std::wstring::npos; p = path.find(L'\\', p + 1)) {
        const DWORD attributes = GetFileAttributesW(path.substr(0, p).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || KindOf(attributes) != EntryKind::Directory) return false;
    }
    return true;
}

bool Win32FileTree::HoldFoldersOnTheWay(const std::wstring& root, const std::wstring& path,
                                        std::vector<unique_file>& held, bool* busy, bool* innermostToDelete) {
    if (path.size() <= root.size() + 1 || path[root.size()] != L'\\') return false;
    // Held without FILE_SHARE_DELETE: none of them can be renamed, removed or replaced by a
    // link while they are held. Then the path is looked at again. A handle that may only read
    // attributes takes no part in sharing, so each is opened to list the folder too.
    const auto open = [&](std::size_t end, DWORD access) {
        return unique_file(CreateFileW(path.substr(0, end).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | access,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    const bool toDelete = innermostToDelete && *innermostToDelete;
    if (innermostToDelete) *innermostToDelete = false;
    for (std::size_t p = path.find(L'\\', root.size() + 1); p != std::wstring::npos; p = path.find(L'\\', p + 1)) {
        unique_file folder;
        // Where someone else has it open in a way that forbids that, held as the others.
        if (toDelete && path.find(L'\\', p + 1) == std::wstring::npos) {
            folder = open(p, DELETE);
            *innermostToDelete = static_cast<bool>(folder);
        }
        if (!folder) folder = open(p, 0);
        if (!folder) {
            const DWORD error = GetLastError();
            if (busy) *busy = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
            return false;
        }
        held.push_back(std::move(folder));
    }
    return FoldersOnTheWayAreReal(root, path);
}

class Win32HeldCopy : public HeldCopy {
public:
    Win32HeldCopy(Win32FileTree& tree, const std::wstring& root, const std::wstring& path, bool folderIsNew)
        : HeldCopy(tree, root, path), win_(tree), folderIsNew_(folderIsNew) {}

    bool Look(TreeEntry& out) override {
        folders_.clear();
        file_.reset();
        // Where a folder cannot be held (someone holds it open for deleting), by path.
        innermostToDelete_ = folderIsNew_;
        byPath_ = !Win32FileTree::HoldFoldersOnTheWay(root_, path_, folders_, nullptr, &innermostToDelete_);
        if (byPath_) {
            folders_.clear();
            innermostToDelete_ = false;
            return HeldCopy::Look(out);
        }
        attributes_ = GetFileAttributesW(path_.c_str());
        if (attributes_ == INVALID_FILE_ATTRIBUTES) return false;
        // Read and deleted through this handle, opened without FILE_SHARE_DELETE: while it is
        // held, the copy cannot be renamed away or replaced, so the handle stays the path's.
        // Where someone holds the copy in a way that forbids that, it is read through a shared
        // handle and deleted by path later; where it cannot be read either, looked at by path.
        const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN;
        file_.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr));
        deletable_ = static_cast<bool>(file_);
        if (!file_)
            file_.reset(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, flags, nullptr));
        if (!file_) {
            folders_.clear();
            innermostToDelete_ = false;
            byPath_ = true;
            return HeldCopy::Look(out);
        }
        return win_.Look(file_.get(), root_, attributes_, out);
    }

    std::vector<uint64_t> FolderIndexes(int depth) override {
        if (byPath_) return HeldCopy::FolderIndexes(depth);
        // The innermost `depth` of the folders held on the way, each known to be a real folder.
        std::vector<uint64_t> indexes(depth > 0 ? static_cast<std::size_t>(depth) : 0, 0);
        for (std::size_t k = indexes.size(), at = folders_.size(); k-- > 0 && at-- > 0;)
            if (!FileIndexOf(folders_[at].get(), indexes[k])) indexes[k] = 0;
        return indexes;
    }

    bool Digest(FileDigest& out) override {
        if (byPath_) return HeldCopy::Digest(out);
        LARGE_INTEGER start{};
        return file_ && SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) &&
               win_.DigestThrough(file_.get(), out);
    }

    bool Flush() override {
        if (byPath_ || !file_ || !deletable_) return HeldCopy::Flush();
        return FlushFileBuffers(file_.get()) != FALSE;
    }

    RemoveOutcome Remove(const TreeEntry& seen) override {
        if (!file_ || !deletable_) {
            file_.reset();
            // The copy's folder, held for deleting, would keep the call by path from holding it.
            if (innermostToDelete_) {
                folders_.pop_back();
                innermostToDelete_ = false;
            }
            return HeldCopy::Remove(seen);
        }
        const unique_file file = std::move(file_);  // closed on the way out: the copy goes then
        return win_.RemoveIfStill(file.get(), root_, attributes_, seen);
    }

    bool RemoveEmptyFolder(const std::wstring& folder, const FileIdentity& seen) override {
        // One of the folders held on the way: it and those below it are let go, and it is
        // opened to be removed while the folders above it are still held.
        std::size_t held = 0;
        for (std::size_t p = path_.find(L'\\', root_.size() + 1); p != std::wstring::npos && held < folders_.size();
             p = path_.find(L'\\', p + 1), ++held)
            if (p == folder.size() && SystemNameOrder(path_.substr(0, p), folder) == 0) break;
        file_.reset();
        // Any other folder is not on the copy's way, and none held lies below it.
        if (held == folders_.size()) return HeldCopy::RemoveEmptyFolder(folder, seen);
        // The copy's own folder, where it was held open for deleting, goes through that handle
        // as it is let go; any other is opened again.
        const bool throughHold = held + 1 == folders_.size() && innermostToDelete_;
        innermostToDelete_ = false;
        unique_file self = throughHold ? std::move(folders_.back()) : unique_file();
        folders_.resize(held);
        return win_.RemoveFolderWhileHeld(root_, folder, seen, throughHold ? self.get() : nullptr);
    }

private:
    Win32FileTree& win_;
    std::vector<unique_file> folders_;  // the folders from the root to the copy, outermost first
    unique_file file_;
    DWORD attributes_ = 0;  // the copy's, by path
    bool deletable_ = false;
    bool byPath_ = false;  // nothing held: the tree's calls by path
    const bool folderIsNew_;
    bool innermostToDelete_ = false;  // the last of folders_ was opened for deleting
};

std::unique_ptr<HeldCopy> Win32FileTree::Hold(const std::wstring& root, const std::wstring& path, bool folderIsNew) {
    return std::make_unique<Win32HeldCopy>(*this, root, path, folderIsNew);
}

NameOrder Win32FileTree::Order() const { return SystemNameOrder; }

std::wstring Win32FileTree::LastErrorText() const {
    if (lastError_ == 0) return L"";
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, lastError_, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = n ? std::wstring(text, n) : L"error " + std::to_wstring(lastError_);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    return reason;
}
