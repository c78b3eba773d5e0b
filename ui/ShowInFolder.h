// Opening the shell's file window on a folder, with one file in it selected.
#pragma once
#include <string>

// Shows `folder` in the shell's file window, with `file` (a path inside it) selected when one
// is given. Tries SHOpenFolderAndSelectItems first and falls back to "explorer /select," (or
// explorer with the folder) where the shell lacks it. True when one of them was accepted.
bool ShowInShellWindow(const std::wstring& folder, const std::wstring& file);
