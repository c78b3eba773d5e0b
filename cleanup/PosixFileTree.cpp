#include "PosixFileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

EntryKind KindOf(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    return S_ISDIR(st.st_mode) ? EntryKind::Directory : EntryKind::Other;
}

uint64_t TimeOf(const struct stat& st) {
    return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(st.st_mtim.tv_nsec);
}

FileIdentity IdentityOf(const struct stat& st) {
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// The backup folder "" (from "/") is the root.
bool NativePath(const std::wstring& path, std::string& out) {
    if (path.empty()) {
        out = "/";
        return true;
    }
    return WideToUtf8(path, out);
}

bool LStat(const std::wstring& path, struct stat& st) {
    std::string native;
    return NativePath(path, native) && lstat(native.c_str(), &st) == 0;
}

// A descriptor closed when it goes; errno is kept across the close.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd) {
        const int saved = errno;
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
        errno = saved;
    }

private:
    int fd_;
};

// `path` is `root` itself or a path below it.
bool AtOrBelow(const std::wstring& root, const std::wstring& path) {
    return path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == L'/');
}

// Opens `folder` (`root` or a folder below it): the root as given, a link there followed,
// then each folder below it from the one before, never through a link. -1 with errno set.
int OpenFolderBelow(const std::wstring& root, const std::wstring& folder) {
    std::string native;
    if (!AtOrBelow(root, folder) || !NativePath(root, native)) {
        errno = EINVAL;
        return -1;
    }
    Descriptor fd(open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t at = root.size(); fd.Get() >= 0 && at < folder.size();) {
        const std::size_t end = std::min(folder.find(L'/', at + 1), folder.size());
        const std::wstring name = folder.substr(at + 1, end - at - 1);
        if (name.empty() || name == L"." || name == L".." || !WideToUtf8(name, native)) {
            errno = EINVAL;
            return -1;
        }
        fd.Reset(openat(fd.Get(), native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        at = end;
    }
    return fd.Release();
}

// The folder a path below `root` lies in, opened as OpenFolderBelow does, and its last name.
int OpenParentBelow(const std::wstring& root, const std::wstring& path, std::string& name) {
    const std::size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos || slash < root.size() || !WideToUtf8(path.substr(slash + 1), name) ||
        name.empty() || name == "." || name == "..") {
        errno = EINVAL;
        return -1;
    }
    return OpenFolderBelow(root, path.substr(0, slash));
}

}  // namespace

PosixFileTree::PosixFileTree(const std::wstring& root) : hasRoot_(true), root_(root) {
    while (!root_.empty() && root_.back() == L'/') root_.pop_back();
}

bool PosixFileTree::Fail(int error) {
    lastError_ = error;
    return false;
}

std::wstring PosixFileTree::LastErrorText() const {
    std::wstring text;
    if (lastError_ == 0) return text;
    if (!Utf8ToWide(std::strerror(lastError_), text)) text = L"error " + std::to_wstring(lastError_);
    return text;
}

bool PosixFileTree::List(const std::wstring& folder, std::vector<TreeEntry>& out) {
    out.clear();
    std::string native;
    int fd = -1;
    if (hasRoot_ && AtOrBelow(root_, folder)) {
        fd = OpenFolderBelow(root_, folder);
    } else {
        if (!NativePath(folder, native)) return Fail(EINVAL);
        fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) return Fail(errno);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
    if (!dir) {
        const int error = errno;
        close(fd);
        return Fail(error);
    }
    while (const dirent* d = readdir(dir.get())) {
        const std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        TreeEntry e;
        struct stat st;
        const bool named = Utf8ToWide(name, e.name);
        if (!named) Utf8ToWide("?", e.name);
        if (fstatat(dirfd(dir.get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            e.kind = named ? KindOf(st) : EntryKind::Other;
            e.size = static_cast<uint64_t>(st.st_size);
            e.writeTime = TimeOf(st);
            e.id = IdentityOf(st);
        }
        out.push_back(std::move(e));
    }
    return true;
}

bool PosixFileTree::Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) {
    struct stat st;
    if (path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 || path[root.size()] != L'/')
        return false;
    for (std::size_t p = path.find(L'/', root.size() + 1); p != std::wstring::npos; p = path.find(L'/', p + 1))
        if (!LStat(path.substr(0, p), st) || !S_ISDIR(st.st_mode)) return false;
    if (!LStat(path, st)) return false;
    out.name.clear();
    out.kind = KindOf(st);
    out.size = static_cast<uint64_t>(st.st_size);
    out.writeTime = TimeOf(st);
    out.id = IdentityOf(st);
    return true;
}

bool PosixFileTree::DigestFile(const std::wstring& path, FileDigest& out) {
    std::string native;
    if (!NativePath(path, native)) return false;
    const int fd = open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    FileDigester digester;
    std::vector<char> buffer(1 << 20);
    while (ok) {
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        digester.Update(buffer.data(), static_cast<std::size_t>(got));
    }
    close(fd);
    if (ok) out = digester.Finish();
    return ok;
}

// The name is checked and removed relative to the folder opened from the root, so no link on
// the way is followed; only a swap of the file itself in that real folder, between the check
// and the unlink, is not excluded (POSIX has no delete bound to an open file).
RemoveOutcome PosixFileTree::RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) {
    std::string name;
    const Descriptor folder(OpenParentBelow(root, path, name));
    if (folder.Get() < 0) {
        if (errno == ENOENT) return RemoveOutcome::Gone;
        // A link or a file where the listing saw a folder.
        if (errno == ELOOP || errno == ENOTDIR) return RemoveOutcome::Changed;
        Fail(errno);
        return RemoveOutcome::Failed;
    }
    struct stat st;
    if (fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return RemoveOutcome::Gone;
        Fail(errno);
        return RemoveOutcome::Failed;
    }
    if (KindOf(st) != EntryKind::File || (seen.id.Known() && IdentityOf(st) != seen.id) ||
        static_cast<uint64_t>(st.st_size) != seen.size || TimeOf(st) != seen.writeTime)
        return RemoveOutcome::Changed;
    if (unlinkat(folder.Get(), name.c_str(), 0) == 0) return RemoveOutcome::Removed;
    if (errno == ENOENT) return RemoveOutcome::Gone;
    Fail(errno);
    return RemoveOutcome::Failed;
}

bool PosixFileTree::RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) {
    if (path.size() <= root.size()) return Fail(EINVAL);
    std::string name;
    const Descriptor folder(OpenParentBelow(root, path, name));
    if (folder.Get() < 0) return Fail(errno);
    struct stat st;
    if (fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Fail(errno);
    if (KindOf(st) != EntryKind::Directory || (seen.Known() && IdentityOf(st) != seen)) return Fail(ESTALE);
    return unlinkat(folder.Get(), name.c_str(), AT_REMOVEDIR) == 0 || Fail(errno);
}
