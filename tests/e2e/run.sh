#!/usr/bin/env bash
# Runs the Wine tests of setup.exe: every scenario in scenarios/, each a
# small script that starts setup.exe under Wine and drives it with
# uidriver.exe as a person would.
#
#   tests/e2e/run.sh WINDOWS_BIN [HOST_BUILD [OUTPUT]]
#
# WINDOWS_BIN holds setup.exe and uidriver.exe of one Windows build;
# HOST_BUILD is the host build tree (for pkgtool); OUTPUT (default
# build/e2e) receives the Wine prefix, the logs and the screenshots.
# E2E_ONLY="name ..." runs only the scenarios named; E2E_LIMIT sets each
# scenario's time limit in seconds (default 60).
#
# The run makes one private Wine prefix under OUTPUT and its own Xvfb
# screen (1024x768, 24 bits), and ends both, and everything started on
# them, however it ends. A 32-bit setup.exe runs under the 32-bit Wine
# loader in a 32-bit prefix; a 64-bit one (the build for machines that run
# no 32-bit code) under wine64. Output: one line per scenario, then
# "N passed, N failed"; the status is non-zero when any scenario failed.
set -u

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
  echo "usage: $0 WINDOWS_BIN [HOST_BUILD [OUTPUT]]" >&2
  exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
E2E_BIN=$(cd "$1" && pwd) || exit 2
E2E_HOST=${2:-}
if [ -n "$E2E_HOST" ]; then E2E_HOST=$(cd "$E2E_HOST" && pwd) || exit 2; fi
mkdir -p "${3:-build/e2e}" || exit 2
E2E_OUT=$(cd "${3:-build/e2e}" && pwd)
LIMIT=${E2E_LIMIT:-60}

for f in setup.exe uidriver.exe; do
  [ -f "$E2E_BIN/$f" ] || { echo "$0: no $f in $E2E_BIN" >&2; exit 2; }
done
for tool in Xvfb import wineserver; do
  command -v "$tool" >/dev/null || { echo "$0: $tool not found" >&2; exit 2; }
done

# The machine type in the PE header: 014c for i386, 8664 for x86-64.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

case $(pe_machine "$E2E_BIN/setup.exe") in
  014c)
    E2E_WINE=$(command -v wine) || { echo "$0: wine not found" >&2; exit 2; }
    export WINEARCH=win32
    if ! "$E2E_WINE" --version >/dev/null 2>&1; then
      echo "$0: this machine cannot run the 32-bit Wine loader (a kernel" \
        "without IA-32 emulation?); build the Windows tree with" \
        "cmake/toolchain-x86_64-mingw.cmake and test that" >&2
      exit 2
    fi
    ;;
  8664)
    E2E_WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
    [ -x "$E2E_WINE" ] || { echo "$0: wine64 not found" >&2; exit 2; }
    export WINEARCH=win64
    ;;
  *)
    echo "$0: $E2E_BIN/setup.exe is not a Windows executable" >&2
    exit 2
    ;;
esac

export E2E_WINE E2E_BIN E2E_HOST E2E_OUT
export E2E_SHOTS="$E2E_OUT/shots"
export E2E_SCREEN="1024 768"
export WINEPREFIX="$E2E_OUT/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
LOGS="$E2E_OUT/logs"

XVFB_PID=
SCENARIO_PID=

stop_wine() {
  wineserver -k >/dev/null 2>&1
  # -w waits for the server to go; bounded in case it is wedged.
  timeout 20 wineserver -w >/dev/null 2>&1
}

start_server() {
  # A persistent server with its output on a file, so that nothing started
  # from it holds the caller's pipes.
  wineserver -p </dev/null >>"$LOGS/wineserver.log" 2>&1
}

start_keeper() {
  # A program that runs for the whole session: while one runs, Wine keeps
  # its own background services up between scenarios instead of stopping
  # them and starting them again (which can take seconds) for the next.
  "$E2E_WINE" "$E2E_BIN/uidriver.exe" idle </dev/null \
    >>"$LOGS/wineserver.log" 2>&1 &
}

start_wine() {
  start_server
  start_keeper
}

cleanup() {
  trap - EXIT INT TERM HUP
  if [ -n "$SCENARIO_PID" ]; then
    kill -KILL -- "-$SCENARIO_PID" 2>/dev/null
  fi
  stop_wine
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# A prefix left by an earlier run, and anything still running in it, goes
# (with any file a killed scenario left immutable).
stop_wine
[ -d "$WINEPREFIX" ] && chattr -R -i "$WINEPREFIX" >/dev/null 2>&1 || true
rm -rf "$E2E_SHOTS" "$LOGS" "$E2E_OUT/tmp" "$WINEPREFIX"
mkdir -p "$E2E_SHOTS" "$LOGS" "$WINEPREFIX"

# Xvfb picks a free display number and writes it to descriptor 3. The file
# of an earlier run goes first: the redirection below empties it only once
# the background job has started, which may be after the first look at it.
rm -f "$E2E_OUT/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
  3>"$E2E_OUT/display" </dev/null >"$LOGS/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do
  [ -s "$E2E_OUT/display" ] && break
  kill -0 "$XVFB_PID" 2>/dev/null || break
  sleep 0.1
done
[ -s "$E2E_OUT/display" ] || { echo "$0: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$E2E_OUT/display")"

started=$EPOCHSECONDS
start_server
if ! timeout 300 "$E2E_WINE" wineboot -i </dev/null >"$LOGS/wineboot.log" \
  2>&1; then
  echo "$0: wineboot failed (see $LOGS/wineboot.log)" >&2
  exit 1
fi
# Windows that no window manager manages: Wine draws their frames itself,
# and destroying one does not wait for a window manager to acknowledge it
# (there is none on this screen).
"$E2E_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
  </dev/null >>"$LOGS/wineboot.log" 2>&1
start_keeper
echo "Wine prefix ready in $((EPOCHSECONDS - started)) s ($WINEARCH," \
  "display $DISPLAY)"

# Runs one scenario script in its own process group, so that a scenario
# that overruns its limit can be ended with everything it started.
run_scenario() {  # FILE
  local name status ticks timed_out
  name=$(basename "$1" .sh)
  export E2E_NAME=$name
  setsid bash "$1" </dev/null >"$LOGS/$name.log" 2>&1 &
  SCENARIO_PID=$!
  ticks=$((LIMIT * 10))
  while kill -0 "$SCENARIO_PID" 2>/dev/null && [ "$ticks" -gt 0 ]; do
    sleep 0.1
    ticks=$((ticks - 1))
  done
  timed_out=
  if kill -0 "$SCENARIO_PID" 2>/dev/null; then
    timed_out=1
    import -display "$DISPLAY" -window root \
      "$E2E_SHOTS/$name-timeout.png" >/dev/null 2>&1
    kill -TERM -- "-$SCENARIO_PID" 2>/dev/null
    sleep 1
    kill -KILL -- "-$SCENARIO_PID" 2>/dev/null
  fi
  status=0
  wait "$SCENARIO_PID" 2>/dev/null || status=$?
  if [ -n "$timed_out" ]; then
    # Written once the scenario is gone, so that this line comes first.
    { echo "FAIL: still running after $LIMIT s"; cat "$LOGS/$name.log"; } \
      >"$LOGS/$name.log.tmp" && mv "$LOGS/$name.log.tmp" "$LOGS/$name.log"
    status=124
  fi
  SCENARIO_PID=
  return "$status"
}

passed=0
failed=0
for file in "$HERE"/scenarios/*.sh; do
  name=$(basename "$file" .sh)
  if [ -n "${E2E_ONLY:-}" ] && ! [[ " $E2E_ONLY " == *" $name "* ]]; then
    continue
  fi
  begin=$EPOCHREALTIME
  attempt=
  status=0
  run_scenario "$file" || status=$?
  if [ "$status" -ne 0 ]; then
    # Wine under a loaded machine now and then starts a program late or
    # loses a first window; a scenario that fails is run once more from a
    # clean Wine session, and the first attempt's log is kept beside it.
    reason=$(grep -m1 '^FAIL: ' "$LOGS/$name.log" | cut -c7-)
    mv "$LOGS/$name.log" "$LOGS/$name.first-attempt.log"
    echo "RETRY $name: ${reason:-exit status} (first attempt:" \
      "$LOGS/$name.first-attempt.log)"
    stop_wine
    start_wine
    attempt=" on the second attempt"
    begin=$EPOCHREALTIME
    status=0
    run_scenario "$file" || status=$?
  fi
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    awk -v n="$name" -v b="$begin" -v e="$EPOCHREALTIME" -v a="$attempt" \
      'BEGIN { printf "PASS %s (%.1f s%s)\n", n, e - b, a }'
  else
    failed=$((failed + 1))
    reason=$(grep -m1 '^FAIL: ' "$LOGS/$name.log" | cut -c7-)
    echo "FAIL $name: ${reason:-exit status, see log} ($LOGS/$name.log)"
    # Start the next scenario from a clean Wine session.
    stop_wine
    start_wine
  fi
done

echo "Screenshots in $E2E_SHOTS, logs in $LOGS"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
