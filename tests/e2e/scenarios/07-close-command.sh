# The close command (system menu, close box, Alt+F4) does not close
# MainWindow: the window and the box stay until OK is pressed.
. "$(dirname "$0")/../lib.sh"

stage close-command
start_setup
drv wait-box 20 || fail "no message box"
drv syscommand-close VemoClass || fail "no main window"
sleep 1
drv count VemoClass
expect_eq "main windows after the close command" 1 "$(field count)"
drv wait-box 1 || fail "the box went away"
drv box-press OK || fail "could not press OK"
wait_exit "$SETUP_PID" 15
expect_eq "exit code" 0 "$EXIT_CODE"
