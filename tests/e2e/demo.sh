#!/usr/bin/env bash
# The walk-through that scripts/demo ends with: setup.exe installs the bundled
# sample product "Quest" from its two disks under Wine, the installed game
# runs once, and its uninstaller takes it out again.
#
#   tests/e2e/demo.sh WINDOWS_BIN HOST_BUILD OUTPUT
#
# WINDOWS_BIN holds setup.exe (and uidriver.exe) of a Windows build,
# HOST_BUILD the host build with pkgtool and the sample media, OUTPUT
# (build/demo) receives the Wine prefix, the drive and the screenshots.
#
# The disks: Wine's drive A: is the directory OUTPUT/drive, which holds the
# files of the disk "in the drive"; setup.exe starts from A:\. When the
# installer asks for another disk, that disk's files take the place of the
# drive's (cp HOST_BUILD/sample-media/disk2/* OUTPUT/drive/) and OK goes on.
#
# With a display ($DISPLAY set, DEMO_HEADLESS unset) the installer is shown
# for a person to use and the script waits for it to end, then starts the
# installed game and its uninstaller, waiting for each. Without one the
# script starts its own Xvfb screen and walks through the installation with
# the UI driver: welcome, destination with the default path, the new
# directory, the file transfer with every disk prompt, the finish dialog;
# then the game's box, the uninstaller's question and its closing box. It
# keeps a screenshot of each under OUTPUT/; the windows are unmanaged (no
# window manager runs on that screen), so Wine draws their frames and
# caption bars itself. Either way it prints a summary after the
# installation (the files, the settings file and the Start Menu links that
# Wine's Program Manager made from the installer's DDE commands) and what is
# left after the removal.
#
# A machine whose kernel runs no 32-bit code cannot start Wine's 32-bit
# loader; the demo then builds the 64-bit Windows tree (preset win64, in
# build/win64) and media from its programs (OUTPUT/media), and shows that:
# the same sources.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 WINDOWS_BIN HOST_BUILD OUTPUT" >&2
  exit 2
fi
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=$(cd "$1" && pwd)
HOST=$(cd "$2" && pwd)
mkdir -p "$3"
OUT=$(cd "$3" && pwd)
MEDIA="$HOST/sample-media"

say() { echo "demo: $*"; }
die() {
  echo "demo: $*" >&2
  exit 1
}

# The machine type in a PE header: 14c for i386, 8664 for x86-64.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' ' | sed 's/^0*//'
}

[ -f "$BIN/setup.exe" ] || die "no setup.exe in $BIN"
[ -x "$HOST/bin/pkgtool" ] || die "no pkgtool in $HOST/bin"

# ---- which Wine, which build ------------------------------------------------
# Media made by pkgtool from the programs of the build in $BIN.
make_media() {
  MEDIA="$OUT/media"
  rm -rf "$MEDIA"
  "$HOST/bin/pkgtool" --quiet build "$ROOT/samples/quest.manifest" \
    -o "$MEDIA" --installer "$BIN/setup.exe" -D "WIN32_BIN=$BIN" \
    -D "DATA=$HOST/sample-data" >/dev/null
}

machine=$(pe_machine "$BIN/setup.exe")
if [ "$machine" = 14c ] && wine --version >/dev/null 2>&1; then
  WINE=$(command -v wine)
  export WINEARCH=win32
else
  WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
  [ -x "$WINE" ] || die "wine64 not found"
  export WINEARCH=win64
  if [ "$machine" = 14c ]; then
    say "this machine runs no 32-bit code (Wine's 32-bit loader cannot"
    say "start); showing the 64-bit build of the same sources instead"
    say "building the 64-bit Windows tree (preset win64, build/win64)"
    (cd "$ROOT" && cmake --preset win64 && cmake --build --preset win64 -j 2) \
      >"$OUT/build-win64.log" 2>&1 ||
      die "the 64-bit build failed (see $OUT/build-win64.log)"
    BIN="$ROOT/build/win64/bin"
  fi
  make_media
fi
[ -d "$MEDIA/disk1" ] && [ -d "$MEDIA/disk2" ] || die "no sample media in $MEDIA"

export WINEPREFIX="$OUT/wineprefix"
export WINEDEBUG=-all
# No menu entries on the host from this prefix, and no Mono or Gecko.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
DRIVE="$OUT/drive"
SHOTS="$OUT"
LOG="$OUT/wine.log"
XVFB_PID=
SETUP_PID=

cleanup() {
  trap - EXIT INT TERM HUP
  wineserver -k >/dev/null 2>&1 || true
  timeout 20 wineserver -w >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Puts disk N into the drive: its files take the place of the drive's.
insert_disk() {
  rm -f "$DRIVE"/*
  cp "$MEDIA/disk$1"/* "$DRIVE/"
}

headless=1
if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_HEADLESS:-}" ]; then headless=0; fi

# ---- a fresh prefix with the sample's disk 1 in drive A: ------------------
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX" "$DRIVE" "$SHOTS"/*.png "$LOG"
mkdir -p "$WINEPREFIX" "$DRIVE"
if [ "$headless" = 1 ]; then
  command -v Xvfb >/dev/null || die "Xvfb not found"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$OUT/display" </dev/null >"$OUT/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$OUT/display" ] && break
    sleep 0.1
  done
  [ -s "$OUT/display" ] || die "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$OUT/display")"
fi
say "preparing the Wine prefix $WINEPREFIX"
wineserver -p </dev/null >>"$LOG" 2>&1
timeout 300 "$WINE" wineboot -i </dev/null >>"$LOG" 2>&1 ||
  die "wineboot failed (see $LOG)"
# The same switch in the prefix itself, for anything started there later.
"$WINE" reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe \
  /t REG_SZ /d "" /f </dev/null >>"$LOG" 2>&1 || true
if [ "$headless" = 1 ]; then
  # No window manager runs on Xvfb: unmanaged windows get their frames and
  # caption bars from Wine itself, as in the Wine tests (tests/e2e/run.sh).
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    </dev/null >>"$LOG" 2>&1 || die "cannot make the windows unmanaged"
fi
insert_disk 1
ln -sfn "$DRIVE" "$WINEPREFIX/dosdevices/a:"

start_setup() {
  (cd "$DRIVE" && exec "$WINE" 'A:\setup.exe') </dev/null >>"$LOG" 2>&1 &
  SETUP_PID=$!
}

# ---- with a display: the real installer ----------------------------------
if [ "$headless" = 0 ]; then
  say "starting A:\\setup.exe (drive A: is $DRIVE)"
  say "when it asks for disk N, put that disk in the drive from another"
  say "terminal, then press OK:"
  say "  cp $MEDIA/disk2/* $DRIVE/    (disk 2)"
  say "  cp $MEDIA/disk1/* $DRIVE/    (disk 1)"
  start_setup
  wait "$SETUP_PID" || true
fi

# ---- without one: the walk-through ----------------------------------------
DRV=
drv() {
  local status=0
  "$WINE" "$BIN/uidriver.exe" "$@" </dev/null >"$OUT/driver.out" \
    2>>"$LOG" || status=$?
  DRV=$(tr -d '\r' <"$OUT/driver.out")
  return "$status"
}
field() { printf '%s\n' "$DRV" | sed -n "s/^$1 //p" | head -n 1; }
shot() {
  import -display "$DISPLAY" -window root "$SHOTS/$1.png" >>"$LOG" 2>&1 &&
    say "  screenshot $SHOTS/$1.png"
}

# Waits until control ID of the current dialog reads TEXT (at most about
# SECONDS seconds).
wait_text() {  # ID TEXT SECONDS
  local tries=$(($3 * 2))
  while [ "$tries" -gt 0 ]; do
    if drv text "$1" && [ "$(field text)" = "$2" ]; then return 0; fi
    sleep 0.5
    tries=$((tries - 1))
  done
  die "no dialog showing '$2' (see $LOG)"
}

if [ "$headless" = 1 ]; then
  say "walking through the installation on Xvfb ($DISPLAY)"
  start_setup

  wait_text 110 "Welcome to the Quest install program." 60
  say "welcome dialog"
  shot 01-welcome
  drv click 101 || die "no welcome dialog"

  wait_text 110 "Setup will install Quest to this Drive and Directory:" 20
  drv text 100
  say "destination dialog, default directory $(field text)"
  shot 02-destination
  drv click 1 || die "no destination dialog"

  drv wait-box 20 || die "no question about the new directory"
  say "box: $(field text)"
  shot 03-new-directory
  drv box-press Yes || die "could not answer Yes"

  # The file transfer: answer each disk prompt by putting that disk in the
  # drive, until the finish dialog shows.
  step=4
  answered=
  for _ in $(seq 120); do
    if drv wait-box 1; then
      box=$(field box)
      # The box just answered may not have gone yet.
      [ "$box" != "$answered" ] || continue
      text=$(field text)
      disk=$(printf '%s\n' "$text" |
        sed -n 's/^Insert disk \([0-9]*\) in drive.*/\1/p')
      [ -n "$disk" ] || die "unexpected box: $text"
      say "disk prompt: $text"
      # The box stays where Windows puts it, over the dialog.
      shot "$(printf '%02d' $step)-disk-$disk"
      step=$((step + 1))
      insert_disk "$disk"
      answered=$box
      drv box-press OK || die "could not press OK"
      continue
    fi
    if drv text 101 &&
      [ "$(field text)" = "You have successfully installed Quest!" ]; then
      break
    fi
    kill -0 "$SETUP_PID" 2>/dev/null || die "setup.exe ended early"
  done
  wait_text 101 "You have successfully installed Quest!" 60
  drv text 102
  say "finish dialog: $(field text)"
  shot "$(printf '%02d' $step)-finish"
  drv click 2 || die "no finish dialog"
  for _ in $(seq 100); do
    kill -0 "$SETUP_PID" 2>/dev/null || break
    sleep 0.2
  done
  status=0
  wait "$SETUP_PID" || status=$?
  say "setup.exe ended with exit code $status"
fi

# ---- summary of the installation --------------------------------------------
C="$WINEPREFIX/drive_c"
PRODUCT="$C/windows/quest"
PRODUCT_DOS='C:\windows\quest'

# Every file below the product's directory, with its size.
list_product() {
  if [ -d "$PRODUCT" ]; then
    (cd "$PRODUCT" && find . -type f | sed 's|^\./||' | sort |
      while read -r f; do
        printf '  %s\\%s  (%s bytes)\n' "$PRODUCT_DOS" "${f//\//\\}" \
          "$(stat -c %s "$f")"
      done)
    [ -n "$(find "$PRODUCT" -type f)" ] ||
      printf '  %s\\ (an empty directory)\n' "$PRODUCT_DOS"
  else
    echo "  (none: $PRODUCT_DOS is gone)"
  fi
}

# The shared library, the settings file and the Start Menu links.
list_around() {
  for dll in "$C"/windows/system32/QUESTGFX.DLL "$C"/windows/system/QUESTGFX.DLL
  do
    [ -f "$dll" ] && printf '  shared: %s  (%s bytes)\n' \
      "${dll#"$WINEPREFIX/"}" "$(stat -c %s "$dll")"
  done
  say "settings file C:\\windows\\tarny.ini:"
  if [ -f "$C/windows/tarny.ini" ]; then
    grep -i 'grmf' "$C/windows/tarny.ini" | tr -d '\r' | sed 's/^/  /'
  else
    echo "  (not written)"
  fi
  say "Start Menu links made by Wine's Program Manager:"
  local found=0 link
  while IFS= read -r link; do
    echo "  ${link#"$C/"}"
    found=1
  done < <(find "$C/users" -path '*/Start Menu/Programs/Games/*' \
    -name '*.lnk' 2>/dev/null | sort)
  [ "$found" = 1 ] || echo "  (none)"
}

echo
say "installed files:"
list_product
list_around

# ---- the game, then its uninstaller -------------------------------------------
UNINSTALLER="$PRODUCT_DOS\\uninstal.exe"
[ -f "$PRODUCT/QUEST.EXE" ] && [ -f "$PRODUCT/uninstal.exe" ] ||
  die "the game or its uninstaller is missing in $PRODUCT_DOS"

# Runs a program of the product from its directory, as its Program Manager
# item does; sets RUN_PID.
run_product() {  # DOS_PATH [ARGUMENT...]
  local program=$1
  shift
  (cd "$PRODUCT" && exec "$WINE" "$program" "$@") </dev/null >>"$LOG" 2>&1 &
  RUN_PID=$!
}

# Waits for a box, says what it reads (LABEL: text) and keeps a numbered
# screenshot of it named NAME.
shot_box() {  # NAME LABEL WHAT_IF_NONE
  drv wait-box 30 || die "$3"
  say "$2: $(field text)"
  step=$((step + 1))
  shot "$(printf '%02d' $step)-$1"
}

echo
if [ "$headless" = 0 ]; then
  say "starting the game $PRODUCT_DOS\\QUEST.EXE"
  run_product "$PRODUCT_DOS\\QUEST.EXE"
  wait "$RUN_PID" || true
  say "starting its uninstaller $UNINSTALLER"
  run_product "$UNINSTALLER"
  status=0
  wait "$RUN_PID" || status=$?
  # Unless the answer was No, a copy of the uninstaller in the temporary
  # directory removes the uninstaller's own file, then shows its last box.
  if [ "$status" != 1 ]; then
    for _ in $(seq 150); do
      [ -e "$PRODUCT/uninstal.exe" ] || break
      sleep 0.2
    done
  fi
else
  say "starting the game $PRODUCT_DOS\\QUEST.EXE"
  run_product "$PRODUCT_DOS\\QUEST.EXE"
  shot_box quest game "the game showed nothing"
  drv box-press OK || die "could not press OK"
  wait "$RUN_PID" || true

  say "starting its uninstaller $UNINSTALLER"
  run_product "$UNINSTALLER"
  shot_box uninstall-question box "no question from the uninstaller"
  drv box-press Yes || die "could not answer Yes"
  shot_box uninstall-closing box "no closing box from the uninstaller"
  status=0
  wait "$RUN_PID" || status=$?
  say "uninstal.exe ended with exit code $status"
  drv box-press OK || die "could not press OK"
fi

# ---- what is left --------------------------------------------------------------
echo
say "left after the removal:"
list_product
list_around
if [ "$headless" = 1 ]; then
  say "screenshots in $SHOTS"
fi
