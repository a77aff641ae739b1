# Helpers for the Wine scenarios, sourced by each scenario script that
# run.sh starts. The runner exports what they need:
#   E2E_WINE      the Wine loader for the build under test (wine or wine64)
#   E2E_BIN       the Windows build's bin directory (setup.exe, uidriver.exe)
#   E2E_HOST      the host build directory (pkgtool), may be empty
#   E2E_OUT       the run's output directory; E2E_SHOTS its screenshots
#   E2E_NAME      this scenario's name
#   E2E_SCREEN    the Xvfb screen's width and height, "1024 768"
#   WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES for Wine itself
#
# Every Wine process is started with its standard handles on files, never on
# the caller's pipes: Wine's background processes would keep a pipe open
# until the wineserver ends. A failed check prints "FAIL: why", keeps a
# screenshot and ends the scenario with status 1; the runner ends whatever
# the scenario left running.

set -u

E2E_TMP="$E2E_OUT/tmp/$E2E_NAME"
mkdir -p "$E2E_TMP"
E2E_LOG="$E2E_OUT/logs/$E2E_NAME.wine.log"
E2E_START=$EPOCHREALTIME

# Seconds since the scenario started, for the log.
elapsed() {
  awk -v s="$E2E_START" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.1f", e - s }'
}

# Keeps a picture of the whole screen as $E2E_SHOTS/NAME.png.
shot() {
  import -display "$DISPLAY" -window root "$E2E_SHOTS/$1.png" \
    >>"$E2E_LOG" 2>&1 || echo "(no screenshot: import failed)" >&2
}

fail() {
  echo "FAIL: $*" >&2
  shot "$E2E_NAME-failure"
  exit 1
}

# Runs the UI driver; its output lands in DRV, its status is returned.
drv() {
  local status=0
  "$E2E_WINE" "$E2E_BIN/uidriver.exe" "$@" </dev/null \
    >"$E2E_TMP/driver.out" 2>>"$E2E_LOG" || status=$?
  DRV=$(tr -d '\r' <"$E2E_TMP/driver.out")
  printf '%s $ uidriver %s  [%d]\n%s\n' "$(elapsed)" "$*" "$status" \
    "$DRV" >&2
  return "$status"
}

# The rest of the line after "KEY " in the driver's last output.
field() {
  printf '%s\n' "$DRV" | sed -n "s/^$1 //p" | head -n 1
}

expect_eq() {  # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}

# A fresh directory C:\scen\NAME\ holding a copy of setup.exe; sets
# STAGE (its host path) and STAGE_DOS (its DOS path, with a trailing
# backslash).
stage() {
  STAGE="$WINEPREFIX/drive_c/scen/$1"
  STAGE_DOS="C:\\scen\\$1\\"
  rm -rf "$STAGE"
  mkdir -p "$STAGE"
  cp "$E2E_BIN/setup.exe" "$STAGE/setup.exe"
}

# Starts the staged setup.exe in the background; sets SETUP_PID.
start_setup() {
  (cd "$STAGE" && exec "$E2E_WINE" setup.exe) </dev/null >>"$E2E_LOG" 2>&1 &
  SETUP_PID=$!
  printf '%s started setup.exe as %s\n' "$(elapsed)" "$SETUP_PID" >&2
}

# Waits at most SECONDS for the process PID (a child of this shell) to end;
# sets EXIT_CODE. Fails the scenario when it does not end in time.
wait_exit() {  # PID SECONDS
  local pid=$1 ticks=$(($2 * 10))
  while kill -0 "$pid" 2>/dev/null; do
    ticks=$((ticks - 1))
    [ "$ticks" -gt 0 ] || fail "process $pid still running after $2 s"
    sleep 0.1
  done
  EXIT_CODE=0
  wait "$pid" || EXIT_CODE=$?
  printf '%s process %s ended with %s\n' "$(elapsed)" "$pid" "$EXIT_CODE" >&2
}

# Writes a descriptor: the 346-byte header (magic, programFile,
# productTitle, recordCount 1) and one record "A.TXT" with an empty chunk
# list: recordSize 15, flags 0, sizeKb 1, the name, spareByte, terminator.
write_descriptor() {  # PATH
  {
    printf 'GAME'
    printf 'QUEST.EXE'
    head -c $((260 - 9)) /dev/zero
    printf 'Quest'
    head -c $((80 - 5)) /dev/zero
    printf '\001\000'
    printf '\017\000\000\000\001\000A.TXT\000\000\000\000'
  } >"$1"
}
