# No descriptor beside setup.exe: the box names the descriptor's full path
# under the empty caption of a package never read, offers OK alone, and
# the program ends with 0 once it is pressed.
. "$(dirname "$0")/../lib.sh"

stage missing
start_setup
drv wait-box 20 || fail "no message box"
expect_eq "text" "${STAGE_DOS}setup.bin is missing!" "$(field text)"
expect_eq "caption" "" "$(field caption)"
expect_eq "buttons" "button 1 OK" "$(printf '%s\n' "$DRV" | grep '^button')"
drv box-press OK || fail "could not press OK"
wait_exit "$SETUP_PID" 15
expect_eq "exit code" 0 "$EXIT_CODE"
