# Helpers of the installation scenarios, sourced after lib.sh: packages made
# with pkgtool from files the scenario writes, drive A: holding the disk
# "in the drive", the walk through the dialogs, and what to look at in the
# prefix afterwards.
#
#   make_package KIND PROGRAM TITLE DISKSIZE FILE...   media in $MEDIA
#       each FILE is "TARGET=SIZE[:SEED][,flag...]": the scenario's source
#       file of SIZE bytes (seeded, half text, half noise) under TARGET;
#       SIZE may be the path of a file to take instead
#   insert_disk N                the drive shows disk N
#   start_install                setup.exe from A:\ (disk 1 inserted)
#   wait_text ID TEXT [SECONDS]  the current dialog's control reads TEXT
#   answer_prompts TEXT          answers disk prompts until control 101
#                                reads TEXT; the prompts in $PROMPTS
#   set_settings [CONTENT]       tarny.ini written, or removed when empty
#   quick_install DIR            the package installed into DIR (a DOS path
#                                on C:) by pkgtool, without Wine or links
#   start_uninstall PATH [ARG]   an installed uninstaller started from its
#                                own directory; UNINSTALL_PID
#   tree_listing                 what lies on drive C: outside Wine's own
#                                directories, one path a line
#
# Paths: $WIN (the prefix's Windows directory), $SYS (its system
# directory), $PROGRAMS (the Start Menu's Programs folder of the user).

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

WIN="$WINEPREFIX/drive_c/windows"
SYS="$WIN/system32"
[ "${WINEARCH:-}" = win32 ] || [ -d "$SYS" ] || SYS="$WIN/system"
DRIVE="$E2E_TMP/drive"
MEDIA="$E2E_TMP/media"
SOURCES="$E2E_TMP/sources"

PROGRAMS=$(find "$WINEPREFIX/drive_c/users" -maxdepth 8 -type d \
  -path '*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs' \
  2>/dev/null | head -n 1)

# Writes SIZE bytes to PATH, the same for the same SEED: lines of text
# alternating with blocks of noise, so the stream has matches and literals.
gen_file() {  # PATH SIZE SEED
  python3 - "$1" "$2" "$3" <<'EOF'
import random, sys
path, size, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(seed)
out = bytearray()
while len(out) < size:
    if rng.random() < 0.5:
        out += b"line %d of the sample file, seed %d\r\n" % (len(out), seed)
    else:
        out += bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 64)))
open(path, "wb").write(bytes(out[:size]))
EOF
}

make_package() {  # KIND PROGRAM TITLE DISKSIZE FILE...
  local kind=$1 program=$2 title=$3 disk=$4 item target rest size seed flags
  shift 4
  [ -n "$E2E_HOST" ] && [ -x "$E2E_HOST/bin/pkgtool" ] ||
    fail "no pkgtool (the host build is needed)"
  rm -rf "$SOURCES" "$MEDIA"
  mkdir -p "$SOURCES"
  {
    echo "[package]"
    echo "programFile = $program"
    echo "title = $title"
    echo "kind = $kind"
    [ "$disk" = - ] || echo "diskSize = $disk"
    echo "[files]"
  } >"$SOURCES/package.manifest"
  local n=0
  for item in "$@"; do
    n=$((n + 1))
    target=${item%%=*}
    rest=${item#*=}
    flags=
    case $rest in *,*) flags=${rest#*,} rest=${rest%%,*} ;; esac
    size=${rest%%:*}
    seed=$n
    case $rest in *:*) seed=${rest#*:} ;; esac
    if [ -f "$size" ]; then
      cp "$size" "$SOURCES/file$n"
    elif [[ $size == */* ]]; then
      fail "no such file: $size"
    else
      gen_file "$SOURCES/file$n" "$size" "$seed"
    fi
    echo "$target = file$n${flags:+, $flags}" >>"$SOURCES/package.manifest"
  done
  "$E2E_HOST/bin/pkgtool" --quiet build "$SOURCES/package.manifest" \
    -o "$MEDIA" --installer "$E2E_BIN/setup.exe" >>"$E2E_LOG" 2>&1 ||
    fail "pkgtool build failed (see $E2E_LOG)"
}

# The scenario's source file of TARGET, as make_package named it.
source_of() {  # TARGET
  local line
  line=$(grep -i -F -m1 "$1 = " "$SOURCES/package.manifest") ||
    fail "no source for $1"
  line=${line#*= }
  echo "$SOURCES/${line%%,*}"
}

# The disks the installer asks for, in order, as the descriptor's chunk
# lists need them: the shared records first, then the ordinary ones, a
# prompt whenever a chunk lies on another disk than the last, and disk 1 at
# the end for the descriptor copy when an uninstaller was placed.
expected_prompts() {
  "$E2E_HOST/bin/pkgtool" list --json "$MEDIA/disk1/setup.bin" | python3 -c '
import json, sys
records = [r for r in json.load(sys.stdin) if "noInstall" not in r["flags"]]
shared = [r for r in records if "shared" in r["flags"]]
ordinary = [r for r in records if "shared" not in r["flags"]]
disk, out = 1, []
for record in shared + ordinary:
    for chunk in record["chunks"]:
        if chunk["disk"] != disk:
            disk = chunk["disk"]
            out.append(str(disk))
if disk != 1 and any(r["name"].lower() == "uninstal.exe" for r in records):
    out.append("1")
print(" ".join(out))'
}

insert_disk() {  # N
  mkdir -p "$DRIVE"
  rm -f "$DRIVE"/*
  cp "$MEDIA/disk$1"/* "$DRIVE/"
}

start_install() {
  insert_disk 1
  ln -sfn "$DRIVE" "$WINEPREFIX/dosdevices/a:"
  (cd "$DRIVE" && exec "$E2E_WINE" 'A:\setup.exe') </dev/null \
    >>"$E2E_LOG" 2>&1 &
  SETUP_PID=$!
}

wait_text() {  # ID TEXT [SECONDS]
  local tries=$((${3:-20} * 4))
  while [ "$tries" -gt 0 ]; do
    if drv text "$1" && [ "$(field text)" = "$2" ]; then return 0; fi
    kill -0 "${SETUP_PID:-0}" 2>/dev/null || break
    sleep 0.25
    tries=$((tries - 1))
  done
  fail "control $1 never read '$2' (last: '$(field text)')"
}

# The welcome dialog, "Setup %s", and the destination dialog's OK with the
# text typed into the field (the default when DIR is empty).
choose_setup() {  # TITLE [DIR]
  wait_text 110 "Welcome to the $1 install program." 60
  drv click 101 || fail "no welcome dialog"
  wait_text 110 "Setup will install $1 to this Drive and Directory:"
  if [ -n "${2:-}" ]; then drv type 100 "$2" || fail "cannot type"; fi
  drv click 1 || fail "no destination dialog"
}

# Answers every disk prompt by inserting the disk asked for, until control
# 101 of the current dialog reads DONE (the finish dialog). PROMPTS lists
# the disks asked for, in order.
answer_prompts() {  # DONE [SECONDS]
  local tries=$((${2:-60} * 2)) text disk box answered=
  PROMPTS=
  while [ "$tries" -gt 0 ]; do
    tries=$((tries - 1))
    if drv wait-box 0.5; then
      box=$(field box)
      # The box just answered may not have gone yet.
      if [ "$box" = "$answered" ]; then continue; fi
      text=$(field text)
      disk=$(echo "$text" | sed -n 's/^Insert disk \([0-9]*\) in drive A\.$/\1/p')
      [ -n "$disk" ] || fail "unexpected box: $text"
      PROMPTS="$PROMPTS $disk"
      insert_disk "$disk"
      drv box-press OK || fail "cannot press OK"
      answered=$box
      continue
    fi
    if drv text 101 && [ "$(field text)" = "$1" ]; then
      PROMPTS=${PROMPTS# }
      return 0
    fi
    kill -0 "$SETUP_PID" 2>/dev/null || fail "setup.exe ended early"
  done
  fail "no dialog reading '$1' (disks asked for:$PROMPTS)"
}

# The finish dialog's button, then the end of the process with 0.
quit_installer() {
  drv click 2 || fail "no finish dialog"
  wait_exit "$SETUP_PID" 20
  expect_eq "exit code" 0 "$EXIT_CODE"
}

set_settings() {  # [CONTENT]
  if [ -z "${1:-}" ]; then
    rm -f "$WIN/tarny.ini"
  else
    printf '%s' "$1" >"$WIN/tarny.ini"
  fi
}

# The value of grmf in tarny.ini, or "absent".
settings_value() {
  if [ -f "$WIN/tarny.ini" ]; then
    tr -d '\r' <"$WIN/tarny.ini" | sed -n 's/^grmf=//p' | head -n 1
  else
    echo absent
  fi
}

expect_same_file() {  # EXPECTED ACTUAL
  [ -f "$2" ] || fail "missing: $2"
  cmp -s "$1" "$2" || fail "differs from its source: $2"
}

# pkgtool's installation of $MEDIA, as setup.exe would place it (Program
# Manager aside): much faster than the dialogs for a scenario that needs an
# installed product and is about something else.
quick_install() {  # DIR
  "$E2E_HOST/bin/pkgtool" --quiet install "$MEDIA/disk1/setup.bin" \
    --root "$WINEPREFIX/drive_c" --to "$1" --windows 'C:\windows' --yes \
    >>"$E2E_LOG" 2>&1 || fail "pkgtool install into $1 failed"
}

# The host directory of a DOS path on drive C: ("C:\games\quest").
host_path() {  # DOS_PATH
  local rest=${1#?:\\}
  echo "$WINEPREFIX/drive_c/${rest//\\//}"
}

start_uninstall() {  # DOS_PATH [ARGUMENT...]
  local program=$1 dir
  shift
  dir=$(host_path "${program%\\*}")
  (cd "$dir" && exec "$E2E_WINE" "$program" "$@") </dev/null \
    >>"$E2E_LOG" 2>&1 &
  UNINSTALL_PID=$!
  printf '%s started %s %s as %s\n' "$(elapsed)" "$program" "$*" \
    "$UNINSTALL_PID" >&2
}

# Every file and directory of drive C: but the users' and Wine's own
# (windows/ only the files directly in it and in the system directory).
tree_listing() {
  (cd "$WINEPREFIX/drive_c" &&
    find . \( -path ./users -o -path ./windows -o -path ./ProgramData \
      -o -path './Program Files*' \) -prune -o -print &&
    find ./windows -maxdepth 1 -type f &&
    find "./${SYS#"$WINEPREFIX/drive_c/"}" -maxdepth 1 -type f) | sort
}
