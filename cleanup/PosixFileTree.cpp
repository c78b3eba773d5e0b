#include "PosixFileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

bool PosixFileTree::List(const std::wstring& folder, std::vector<TreeEntry>& out) {
    out.clear();
    std::string native;
    if (!NativePath(folder, native)) return false;
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
    if (!dir) {
        close(fd);
        return false;
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

RemoveOutcome PosixFileTree::RemoveFile(const std::wstring&, const std::wstring& path, const TreeEntry& seen) {
    struct stat st;
    if (!LStat(path, st)) return errno == ENOENT || errno == ENOTDIR ? RemoveOutcome::Gone : RemoveOutcome::Failed;
    std::string native;
    if (KindOf(st) != EntryKind::File || IdentityOf(st) != seen.id || static_cast<uint64_t>(st.st_size) != seen.size ||
        TimeOf(st) != seen.writeTime)
        return RemoveOutcome::Changed;
    if (!NativePath(path, native)) return RemoveOutcome::Failed;
    if (unlink(native.c_str()) == 0) return RemoveOutcome::Removed;
    return errno == ENOENT ? RemoveOutcome::Gone : RemoveOutcome::Failed;
}

bool PosixFileTree::RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) {
    struct stat st;
    std::string native;
    return path.size() > root.size() && LStat(path, st) && KindOf(st) == EntryKind::Directory &&
           (!seen.Known() || IdentityOf(st) == seen) && NativePath(path, native) && rmdir(native.c_str()) == 0;
}
