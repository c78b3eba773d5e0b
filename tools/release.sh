#!/usr/bin/env bash
# Builds the release archive: dist/Varnholt-<version>-win64.zip with Varnholt.dll, the cleanup
# tool, the Korean guide (the README's Korean section) and a SHA-256 list of the three. The
# version is read from the built DLL's version resource, so the two cannot disagree.
#   bash tools/release.sh
set -euo pipefail
export VARNHOLT_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNHOLT_BUILD:-$VARNHOLT_ROOT/build}"
"$VARNHOLT_ROOT/tools/setup.sh"
. "$VARNHOLT_ROOT/tools/wine-env.sh"
build_windows "$build/windows" Varnholt VarnholtCleanup
bin="$build/windows/bin"

version=$(python3 - "$bin/Varnholt.dll" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO signature
if at < 0:
    sys.exit("no version resource in " + sys.argv[1])
ms, ls = struct.unpack_from("<II", data, at + 8)
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
PY
)
name="Varnholt-$version-win64"
stage="$build/release/$name"
rm -rf "$stage" && mkdir -p "$stage" "$VARNHOLT_ROOT/dist"
cp "$bin/Varnholt.dll" "$bin/VarnholtCleanup.exe" "$stage/"
# The guide is the README's Korean section, UTF-8 with a byte-order mark and Windows line ends,
# so that Notepad on older Windows shows it as written.
{
    printf '\xef\xbb\xbf'
    sed -n '/^<!-- 사용 안내 시작 -->$/,/^<!-- 사용 안내 끝 -->$/p' "$VARNHOLT_ROOT/README.md" | sed '1d;$d' | sed 's/$/\r/'
} >"$stage/사용안내.txt"
[ "$(wc -c <"$stage/사용안내.txt")" -gt 3 ] || { echo "the README has no Korean section" >&2; exit 1; }
(cd "$stage" && sha256sum Varnholt.dll VarnholtCleanup.exe 사용안내.txt >SHA256SUMS)
rm -f "$VARNHOLT_ROOT/dist/$name.zip"
(cd "$build/release" && zip -q -r "$VARNHOLT_ROOT/dist/$name.zip" "$name")
echo "dist/$name.zip:"
(cd "$stage" && cat SHA256SUMS)
