# A descriptor one byte shorter than its header is a read error naming the
# descriptor; the program ends with 0.
. "$(dirname "$0")/../lib.sh"

stage short
head -c 345 /dev/zero >"$STAGE/setup.bin"
start_setup
drv wait-box 20 || fail "no message box"
expect_eq "text" "${STAGE_DOS}setup.bin: read error!" "$(field text)"
drv box-press OK || fail "could not press OK"
wait_exit "$SETUP_PID" 15
expect_eq "exit code" 0 "$EXIT_CODE"
