# A second setup.exe started while the first shows its message box (with
# the first minimised) shows nothing, restores the first and brings its box
# to the front, and ends with 0 at once.
. "$(dirname "$0")/../lib.sh"

stage twice
start_setup
drv wait-box 20 || fail "no message box"
box=$(field box)
drv minimize VemoClass || fail "no main window to minimise"
drv window-rect VemoClass || fail "main window gone"
expect_eq "minimised" 1 "$(field iconic)"

(cd "$STAGE" && exec "$E2E_WINE" setup.exe) </dev/null >>"$E2E_LOG" 2>&1 &
wait_exit $! 15
expect_eq "second instance's exit code" 0 "$EXIT_CODE"

drv window-rect VemoClass || fail "main window gone"
expect_eq "minimised after the second start" 0 "$(field iconic)"
drv count VemoClass
expect_eq "main windows" 1 "$(field count)"
drv count '#32770'
expect_eq "boxes and dialogs" 1 "$(field count)"
drv foreground || fail "no foreground window"
expect_eq "foreground window" "$box" "$(field foreground)"

drv box-press OK || fail "could not press OK"
wait_exit "$SETUP_PID" 15
expect_eq "first instance's exit code" 0 "$EXIT_CODE"
