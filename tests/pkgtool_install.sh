#!/usr/bin/env bash
# pkgtool install on the sample media:
#   1. into a fresh tree: every installed file equals its source (from the
#      media's sources.tsv) byte for byte, noInstall files stay on the
#      disk, uninstal.exe has uninstal.bin beside it (a byte copy of the
#      descriptor), and tarny.ini in the Windows directory holds grmf=35;
#   2. again into the same place: the uninstaller keeps the name
#      uninstal.exe;
#   3. another product into the same place: its uninstaller is unins1.exe.
#
#   tests/pkgtool_install.sh PKGTOOL MEDIA_DIR
#
# MEDIA_DIR is what the sample_media target makes (disk1/, disk2/, ...,
# sources.tsv). Prints one line per check; exits non-zero when one failed.
set -uo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 PKGTOOL MEDIA_DIR" >&2
  exit 2
fi
pkgtool=$1
media=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what"
  fi
}

descriptor=$(ls "$media"/disk1/*.bin 2>/dev/null | head -n 1)
if [[ -z "$descriptor" || ! -f "$media/sources.tsv" ]]; then
  echo "FAIL: no descriptor or sources.tsv in $media" >&2
  exit 1
fi
disks=()
for dir in "$media"/disk*; do
  [[ "$dir" == "$media/disk1" ]] || disks+=(--disk "$dir")
done

root="$work/c"
dest='C:\GAMES\QUEST'
install_to() {  # install_to DESCRIPTOR REPORT [--disk DIR]...
  local from=$1 report=$2
  shift 2
  "$pkgtool" install "$from" --root "$root" --to "$dest" "$@" --yes --quiet \
    >"$report" 2>&1
}

# ---- 1. a fresh installation ----------------------------------------------------
check "first installation exits 0" install_to "$descriptor" "$work/first.txt" \
  "${disks[@]}"
cat "$work/first.txt"

# Where a record lands: shared files in the system directory, rooted names
# and drive names below the root, everything else below the destination.
installed_path() {
  local name=$1 flags=$2
  local path=${name//\\//}
  if [[ "$flags" == *shared* ]]; then
    echo "$root/WINDOWS/SYSTEM/$path"
  elif [[ "$name" == \\* ]]; then
    echo "$root$path"
  elif [[ "${name:1:1}" == ":" ]]; then
    echo "$root/${path:3}"
  else
    echo "$root/GAMES/QUEST/$path"
  fi
}

while IFS=$'\t' read -r target source flags; do
  [[ -n "$target" ]] || continue
  placed=$(installed_path "$target" "$flags")
  if [[ "$flags" == *noInstall* ]]; then
    check "$target (noInstall) is not installed" test ! -e "$placed"
  elif [[ "$source" != /* ]]; then
    check "$target is installed" test -f "$placed"
  else
    check "$target equals $source" cmp -s "$source" "$placed"
  fi
done <"$media/sources.tsv"

check "uninstal.bin is a copy of the descriptor" \
  cmp -s "$descriptor" "$root/GAMES/QUEST/uninstal.bin"
check "tarny.ini holds grmf=35 in [setup]" \
  bash -c "tr -d '\r' <'$root/WINDOWS/tarny.ini' | grep -qx 'grmf=35' &&
           tr -d '\r' <'$root/WINDOWS/tarny.ini' | grep -qx '\[setup\]'"
check "the Program Manager commands are printed" \
  grep -qF '[AddItem(C:\GAMES\QUEST\uninstal.exe,Uninstall ' "$work/first.txt"
cp "$root/WINDOWS/tarny.ini" "$work/tarny.first"

# ---- 2. the same product again --------------------------------------------------
check "second installation exits 0" install_to "$descriptor" \
  "$work/second.txt" "${disks[@]}"
check "the uninstaller keeps its name" \
  grep -qF '(uninstaller uninstal.exe)' "$work/second.txt"
check "no unins1.exe after the second installation" \
  test ! -e "$root/GAMES/QUEST/unins1.exe"
check "tarny.ini is left alone when the key is there" \
  cmp -s "$work/tarny.first" "$root/WINDOWS/tarny.ini"

# ---- 3. another product into the same place ------------------------------------
other="$work/other"
mkdir -p "$other"
seq 1 3000 >"$other/other.exe"
seq 5000 9000 >"$other/uninstal.exe"
cat >"$other/other.manifest" <<'EOF'
[package]
programFile = OTHER.EXE
title = Other

[files]
OTHER.EXE = other.exe
uninstal.exe = uninstal.exe
EOF
build_other() {
  "$pkgtool" --quiet build "$other/other.manifest" -o "$other/media" \
    --no-installer >"$work/other-build.txt" 2>&1
}
check "the other product builds" build_other
check "the other product installs" install_to "$other/media/disk1/SETUP.bin" \
  "$work/other.txt"
check "its uninstaller is unins1.exe" \
  cmp -s "$other/uninstal.exe" "$root/GAMES/QUEST/unins1.exe"
check "unins1.bin is a copy of its descriptor" \
  cmp -s "$other/media/disk1/SETUP.bin" "$root/GAMES/QUEST/unins1.bin"
check "the sample's uninstaller is untouched" \
  cmp -s "$descriptor" "$root/GAMES/QUEST/uninstal.bin"

echo "$passed passed, $failed failed"
((failed == 0))
