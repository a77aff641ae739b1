#!/usr/bin/env bash
# The sample product's media, end to end on the host: builds them with
# pkgtool (the sample_media target), checks that a second build gives the
# same bytes and that sha256sum accepts their checksum list, verifies them,
# extracts them with the later disks given in reverse order, and compares
# every file of the manifest with its source byte for byte (noInstall files
# both in their plain copy on disk 1 and as extract copies that). Any
# difference makes the script exit non-zero.
#
# Usage: tests/pkgtool_roundtrip.sh [HOST_BUILD_DIR]
#   HOST_BUILD_DIR defaults to build/host. Its SETUP_WIN32_BUILD_DIR must
#   name the bin/ of a Windows build (quest.exe, questgfx.dll, uninstal.exe
#   and, when present, setup.exe).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/host}" && pwd)
pkgtool=$build/bin/pkgtool
media=$build/sample-media
work=$(mktemp -d "${TMPDIR:-/tmp}/pkgtool-roundtrip.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "pkgtool_roundtrip: FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --build "$build" --target sample_media

descriptors=("$media"/disk1/*.bin)
if [ ${#descriptors[@]} -ne 1 ] || [ ! -f "${descriptors[0]}" ]; then
  echo "pkgtool_roundtrip: expected one descriptor in $media/disk1" >&2
  exit 1
fi
descriptor=${descriptors[0]}
disks=()
for dir in "$media"/disk*; do
  [ "$dir" = "$media/disk1" ] || disks=("$dir" "${disks[@]}")
done
if [ ${#disks[@]} -lt 1 ]; then
  fail "the sample's media should need at least two disks"
fi
disk_options=()
for dir in "${disks[@]}"; do disk_options+=(--disk "$dir"); done

# The same inputs give the same bytes.
win32_bin=$(sed -n 's/^SETUP_WIN32_BUILD_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
installer=()
if [ -f "$win32_bin/setup.exe" ]; then installer=(--installer "$win32_bin/setup.exe"); fi
"$pkgtool" --quiet build "$repo/samples/quest.manifest" -o "$work/again" \
  "${installer[@]}" -D "WIN32_BIN=$win32_bin" -D "DATA=$build/sample-data" \
  > /dev/null
if ! diff -r --exclude=sources.tsv "$media" "$work/again" > /dev/null; then
  fail "a second build of the same manifest differs"
fi

"$pkgtool" list "$descriptor"
# The checksum list is what sha256sum itself reads.
if ! (cd "$media/disk1" && sha256sum --quiet -c SHA256SUMS); then
  fail "sha256sum -c rejects disk1/SHA256SUMS"
fi
if ! "$pkgtool" --quiet verify "$descriptor" "${disk_options[@]}"; then
  fail "verify found problems"
fi
if ! "$pkgtool" --quiet extract "$descriptor" -d "$work/dest" "${disk_options[@]}"; then
  fail "extract failed"
fi

# Every file of the manifest, byte for byte.
compared=0
extracted=0
while IFS=$'\t' read -r target source flags; do
  relative=$(printf '%s' "$target" | sed -e 's/^[A-Za-z]://' \
    -e 's/^\\*//' -e 's/\\/\//g')
  copies=("$work/dest/$relative")
  if [[ $flags == *noInstall* ]]; then copies+=("$media/disk1/$relative"); fi
  for copy in "${copies[@]}"; do
    if ! cmp -s "$source" "$copy"; then
      fail "$target: $copy differs from $source"
    fi
  done
  extracted=$((extracted + 1))
  compared=$((compared + 1))
done < "$media/sources.tsv"
found=$(find "$work/dest" -type f | wc -l)
if [ "$found" -ne "$extracted" ]; then
  fail "extract wrote $found files, the manifest has $extracted"
fi
if [ "$compared" -eq 0 ]; then fail "no file was compared"; fi

if [ "$failures" -ne 0 ]; then
  echo "pkgtool_roundtrip: $failures failed" >&2
  exit 1
fi
echo "pkgtool_roundtrip: $compared files identical on $((${#disks[@]} + 1)) disks"
