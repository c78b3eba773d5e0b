#include "JournalWin32.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "FileTreeWin32.h"

namespace {

const wchar_t kMutexName[] = L"Local\\Varnholt.backup-journal";

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// The bytes of `file` from `from` up to `size`, fewer where it ends sooner.
bool ReadFrom(HANDLE file, uint64_t from, uint64_t size, std::string& out) {
    std::string bytes(static_cast<std::size_t>(size - from), '\0');
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(from);
    if (!bytes.empty() && !SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
    std::size_t got = 0;
    while (got < bytes.size()) {
        DWORD n = 0;
        const DWORD want = bytes.size() - got > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size() - got);
        if (!ReadFile(file, &bytes[got], want, &n, nullptr)) return false;
        if (n == 0) break;
        got += n;
    }
    bytes.resize(got);
    out = std::move(bytes);
    return true;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

}  // namespace

Win32JournalStore::Win32JournalStore(std::wstring path) : path_(std::move(path)) {}

bool Win32JournalStore::IndexAndSize(HANDLE file, uint64_t& index, uint64_t& size) {
    // The journal stays at one path in its folder: a rewrite moved into place shows as another
    // file index. The volume is not asked for (a slow call), since the file does not move away.
    HandleLook look;
    if (!LookThroughHandle(file, look)) return false;
    index = look.index;
    size = look.size;
    return true;
}

bool Win32JournalStore::SameAsRead(HANDLE file, uint64_t index, uint64_t size) {
    if (!known_ || index != index_ || size < offset_) return false;
    if (tail_.empty()) return offset_ == 0;
    std::string now;
    return ReadFrom(file, offset_ - tail_.size(), offset_, now) && now == tail_;
}

void Win32JournalStore::NoteTail(std::string_view text) {
    if (text.size() >= kTailBytes) {
        tail_.assign(text.substr(text.size() - kTailBytes));
        return;
    }
    tail_.append(text);  // what ended before offset_ stays in front of it
    if (tail_.size() > kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
}

bool Win32JournalStore::Lock() {
    if (!mutex_) mutex_.reset(CreateMutexW(nullptr, FALSE, kMutexName));
    if (!mutex_) return false;
    // Abandoned by a process that ended while holding it: the file is whole up to its last LF.
    const DWORD waited = WaitForSingleObject(mutex_.get(), kLockWaitMs);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void Win32JournalStore::Unlock() {
    appending_.reset();
    ReleaseMutex(mutex_.get());
}

bool Win32JournalStore::ReadNew(std::string& out, bool& restarted) {
    out.clear();
    restarted = false;
    return ReadNewInRuns(
        [&] {
            restarted = true;
            out.clear();
        },
        [&](std::string_view lines) { out.append(lines); });
}

bool Win32JournalStore::ReadNewInRuns(const std::function<void()>& restart,
                                      const std::function<void(std::string_view)>& take) {
    const unique_file file(CreateFileW(path_.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
        if (known_) restart();
        known_ = false;
        offset_ = 0;
        tail_.clear();
        return true;
    }
    uint64_t index = 0, size = 0;
    if (!IndexAndSize(file.get(), index, size)) return false;
    if (!SameAsRead(file.get(), index, size)) {
        if (known_) restart();
        offset_ = 0;
        tail_.clear();
    }
    known_ = true;
    index_ = index;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset_);
    if (size > offset_ && !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return false;
    // The reading position moves past each run handed on; a line the buffer cut stays for the
    // next pass (or, torn, for the next read).
    std::string buffer(kRunBytes, '\0');
    std::size_t held = 0;
    for (uint64_t left = size - offset_; left > 0;) {
        if (held == buffer.size()) buffer.resize(buffer.size() * 2);  // one line longer than the buffer
        const std::size_t room = buffer.size() - held;
        DWORD got = 0;
        if (!ReadFile(file.get(), &buffer[held], static_cast<DWORD>(std::min<uint64_t>(room, left)), &got, nullptr))
            return false;
        if (got == 0) break;
        left -= got;
        held += got;
        const std::size_t lines = CompleteLinesEnd(std::string_view(buffer.data(), held));
        if (lines == 0) continue;
        take(std::string_view(buffer.data(), lines));
        offset_ += lines;
        NoteTail(std::string_view(buffer.data(), lines));
        const std::size_t capacity = buffer.size();
        buffer.erase(0, lines);
        buffer.resize(capacity);
        held -= lines;
    }
    return true;
}

bool Win32JournalStore::Append(const std::string& lines, bool& created) {
    created = false;
    CreateDirectoryW(FolderOf(path_).c_str(), nullptr);
    const unique_file file(CreateFileW(path_.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    created = GetLastError() != ERROR_ALREADY_EXISTS;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return false;
    std::string text;
    if (size.QuadPart > 0) {
        // A torn last line (a writer that died midway) is closed off, never continued.
        LARGE_INTEGER last;
        last.QuadPart = size.QuadPart - 1;
        char end = '\n';
        DWORD n = 0;
        if (!SetFilePointerEx(file.get(), last, nullptr, FILE_BEGIN) || !ReadFile(file.get(), &end, 1, &n, nullptr) ||
            n != 1)
            return false;
        if (end != '\n') text = kTornLineEnd;
    }
    text += lines;
    if (!WriteAll(file.get(), text.data(), text.size())) return false;
    // Read up to here already (under the same lock), and written from here on by the caller.
    uint64_t index = 0, end = 0;
    if (!IndexAndSize(file.get(), index, end)) {
        index_ = 0;  // matches no file: the next read starts afresh from the file's start
        return true;
    }
    // What the file held before is not known here unless it was read up to its end.
    if (!known_ || index != index_ || offset_ != static_cast<uint64_t>(size.QuadPart)) tail_.clear();
    known_ = true;
    index_ = index;
    offset_ = end;
    NoteTail(text);
    return true;
}

bool Win32JournalStore::ReadNewThenAppend(const std::string& lines, std::string& out, bool& restarted, bool& created) {
    out.clear();
    restarted = created = false;
    const auto open = [&] {
        return unique_file(CreateFileW(path_.c_str(),
                                       FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    // Opened once under one taking of the lock: no other writer comes between.
    if (!appending_) {
        appending_ = open();
        if (!appending_ && GetLastError() == ERROR_PATH_NOT_FOUND) {
            CreateDirectoryW(FolderOf(path_).c_str(), nullptr);
            appending_ = open();
        }
        if (!appending_) return false;
        created = GetLastError() != ERROR_ALREADY_EXISTS;
    }
    const HANDLE file = appending_.get();
    uint64_t index = 0, size = 0;
    if (!IndexAndSize(file, index, size)) return false;
    uint64_t from = offset_;
    if (!SameAsRead(file, index, size)) {
        restarted = known_;
        from = 0;
        tail_.clear();
    }
    std::string bytes;
    if (!ReadFrom(file, from, size, bytes)) return false;
    const std::size_t got = bytes.size();
    // Everything before `from` ended in LF; so does the file unless what was read now does not.
    const bool endsInLf = bytes.empty() ? (from > 0 || size == 0) : bytes.back() == '\n';
    const std::size_t complete = CompleteLinesEnd(bytes);
    bytes.resize(complete);
    known_ = true;
    index_ = index;
    offset_ = from + complete;
    NoteTail(bytes);
    out = std::move(bytes);
    // A torn last line (a writer that died midway) is closed off, never continued.
    const std::string text = endsInLf ? lines : kTornLineEnd + lines;
    if (!WriteAll(file, text.data(), text.size())) return false;
    // Read up to here already (under the same lock), and written from here on by the caller.
    offset_ = from + got + text.size();
    NoteTail(text);
    return true;
}

bool Win32JournalStore::Replace(const std::string& whole) {
    // Written beside the journal, then moved over it. A scratch file left by a failure is
    // written afresh by the next compaction.
    const std::wstring fresh = path_ + L".new";
    appending_.reset();
    {
        const unique_file file(CreateFileW(fresh.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        if (!WriteAll(file.get(), whole.data(), whole.size()) || !FlushFileBuffers(file.get())) {
            FILE_DISPOSITION_INFO disposition{TRUE};
            SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
            return false;
        }
    }
    return MoveFileExW(fresh.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::wstring DefaultJournalPath() {
    PWSTR folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)) && folder && *folder)
        path = std::wstring(folder) + L"\\Varnholt\\backup-journal.txt";
    CoTaskMemFree(folder);
    return path;
}
