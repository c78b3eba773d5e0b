// A file tree in memory for the housekeeping tests: folders, files with bytes, links and
// other entries that are not plain files, files that refuse to go, and a count of every call.
#pragma once
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "backup/Housekeeping.h"

class MemoryTree : public FileTree {
public:
    struct Node {
        EntryKind kind = EntryKind::Directory;
        std::string bytes;
        uint64_t time = 1;
        bool undeletable = false;  // read-only or locked
        uint64_t index = 0;        // its file number; given when it is added
    };

    void AddFolder(const std::wstring& path) {
        for (std::size_t p = path.find(L'\\'); p != std::wstring::npos; p = path.find(L'\\', p + 1))
            if (p > 0 && !nodes.count(path.substr(0, p))) nodes[path.substr(0, p)] = NewNode(EntryKind::Directory);
        if (!nodes.count(path)) nodes[path] = NewNode(EntryKind::Directory);
    }
    void AddFile(const std::wstring& path, const std::string& bytes = "x", uint64_t time = 1) {
        AddFolder(path.substr(0, path.rfind(L'\\')));
        Node file = NewNode(EntryKind::File);
        file.bytes = bytes;
        file.time = time;
        nodes[path] = file;
    }
    void AddOther(const std::wstring& path) {
        AddFolder(path.substr(0, path.rfind(L'\\')));
        nodes[path] = NewNode(EntryKind::Other);
    }
    bool Has(const std::wstring& path) const { return nodes.count(path) != 0; }
    // Every path below `root`, relative, sorted.
    std::vector<std::wstring> Below(const std::wstring& root) const {
        std::vector<std::wstring> out;
        for (const auto& n : nodes)
            if (n.first.size() > root.size() + 1 && n.first.compare(0, root.size() + 1, root + L"\\") == 0)
                out.push_back(n.first.substr(root.size() + 1));
        return out;
    }

    bool List(const std::wstring& folder, std::vector<TreeEntry>& out) override {
        ++lists;
        listed.push_back(folder);
        out.clear();
        const auto it = nodes.find(folder);
        if (it == nodes.end() || it->second.kind != EntryKind::Directory || unlistable.count(folder)) return false;
        const std::wstring prefix = folder + L"\\";
        for (auto n = nodes.lower_bound(prefix); n != nodes.end() && n->first.compare(0, prefix.size(), prefix) == 0;
             ++n) {
            const std::wstring name = n->first.substr(prefix.size());
            if (name.find(L'\\') != std::wstring::npos) continue;
            out.push_back(EntryOf(name, n->second));
        }
        return true;
    }
    bool Stat(const std::wstring& root, const std::wstring& path, TreeEntry& out) override {
        ++stats;
        if (onCall) onCall("Stat", path);
        const auto it = nodes.find(path);
        if (it == nodes.end() || !ReachedWithoutLinks(root, path)) return false;
        out = EntryOf(path.substr(path.rfind(L'\\') + 1), it->second);
        return true;
    }
    bool DigestFile(const std::wstring& path, FileDigest& out) override {
        digested.push_back(path);
        if (onCall) onCall("DigestFile", path);
        const auto it = nodes.find(path);
        if (it == nodes.end() || it->second.kind != EntryKind::File) return false;
        out = DigestOf(it->second.bytes.data(), it->second.bytes.size());
        return true;
    }
    RemoveOutcome RemoveFile(const std::wstring& root, const std::wstring& path, const TreeEntry& seen) override {
        removes.push_back(path);
        if (onCall) onCall("RemoveFile", path);
        if (!ReachedWithoutLinks(root, path)) return RemoveOutcome::Gone;
        const auto it = nodes.find(path);
        if (it == nodes.end()) return RemoveOutcome::Gone;
        const Node& n = it->second;
        if (n.kind != EntryKind::File || (seen.id.Known() && seen.id.index != n.index) || seen.size != n.bytes.size() ||
            seen.writeTime != n.time)
            return RemoveOutcome::Changed;
        if (n.undeletable) return RemoveOutcome::Failed;
        nodes.erase(it);
        return RemoveOutcome::Removed;
    }
    bool RemoveEmptyFolder(const std::wstring& root, const std::wstring& path, const FileIdentity& seen) override {
        folderRemoves.push_back(path);
        if (onCall) onCall("RemoveEmptyFolder", path);
        if (path == root || !ReachedWithoutLinks(root, path)) return false;
        const auto it = nodes.find(path);
        if (it == nodes.end() || it->second.kind != EntryKind::Directory ||
            (seen.Known() && seen.index != it->second.index))
            return false;
        const std::wstring prefix = path + L"\\";
        const auto child = nodes.lower_bound(prefix);
        if (child != nodes.end() && child->first.compare(0, prefix.size(), prefix) == 0) return false;
        nodes.erase(it);
        return true;
    }
    bool FlushFile(const std::wstring& path) override {
        if (onCall) onCall("FlushFile", path);
        return !flushFails;
    }
    wchar_t Separator() const override { return L'\\'; }

    int Calls() const {
        return lists + stats + static_cast<int>(digested.size() + removes.size() + folderRemoves.size());
    }
    void ClearCounts() {
        lists = stats = 0;
        listed.clear();
        digested.clear();
        removes.clear();
        folderRemoves.clear();
    }

    // Every folder between `root` and `path` is a real folder.
    bool ReachedWithoutLinks(const std::wstring& root, const std::wstring& path) const {
        if (path.compare(0, root.size() + 1, root + L"\\") != 0) return false;
        for (std::size_t p = path.find(L'\\', root.size() + 1); p != std::wstring::npos; p = path.find(L'\\', p + 1)) {
            const auto it = nodes.find(path.substr(0, p));
            if (it == nodes.end() || it->second.kind != EntryKind::Directory) return false;
        }
        return true;
    }
    Node NewNode(EntryKind kind) {
        Node n;
        n.kind = kind;
        n.index = ++lastIndex;
        return n;
    }
    static TreeEntry EntryOf(const std::wstring& name, const Node& n) {
        return TreeEntry{name, n.kind, n.bytes.size(), n.time, FileIdentity{1, n.index}};
    }

    std::map<std::wstring, Node> nodes;
    uint64_t lastIndex = 0;
    std::set<std::wstring> unlistable;
    int lists = 0, stats = 0;
    std::vector<std::wstring> listed, digested, removes, folderRemoves;
    bool flushFails = false;                                                 // FlushFile answers false
    std::function<void(const char* call, const std::wstring& path)> onCall;  // as a call that touches a file begins
};
