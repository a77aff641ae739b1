# Another program closes MainWindow (WM_CLOSE, so the default handling
# destroys it) while the load error is shown: the box goes with its owner
# and the program still ends, with 0, without anyone pressing anything.
. "$(dirname "$0")/../lib.sh"

stage closed
start_setup
drv wait-box 20 || fail "no message box"
drv close VemoClass || fail "no main window"
wait_exit "$SETUP_PID" 15
expect_eq "exit code" 0 "$EXIT_CODE"
