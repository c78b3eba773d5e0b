#!/usr/bin/env bash
# Format drift, clang-tidy over the portable core and cppcheck over all sources.
# Usage: tools/lint.sh NATIVE_BUILD_DIR (a configured native build with compile_commands.json)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
native="$1"
cd "$root"
sources=$(git ls-files '*.cpp' '*.h')

echo "== clang-format"
clang-format --dry-run --Werror $sources

echo "== clang-tidy (portable core)"
if ! out=$(clang-tidy --quiet -p "$native" backup/BackupPath.cpp backup/CopyList.cpp backup/CopyName.cpp backup/RetentionPlan.cpp \
    backup/Housekeeping.cpp backup/Housekeeper.cpp backup/Journal.cpp backup/JournalLine.cpp backup/Candidates.cpp \
    backup/Utf8.cpp backup/FileDigest.cpp \
    backup/Adoption.cpp backup/RecoveryNotice.cpp settings/SettingsStore.cpp cleanup/CleanupTool.cpp \
    cleanup/PosixFileTree.cpp cleanup/CleanupPosix.cpp 2>&1); then
    echo "$out" | grep -v "warnings generated"
    exit 1
fi

echo "== cppcheck (all sources, as Windows code)"
cppcheck --quiet --enable=warning,performance,portability --error-exitcode=1 --inline-suppr --std=c++17 \
    --platform=win64 -D_WIN32 -DUNICODE -I. --suppress=missingIncludeSystem \
    backup cleanup framework host settings ui hostsim
echo "lint clean"
