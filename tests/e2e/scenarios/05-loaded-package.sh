# A sound descriptor loads without any message and the welcome dialog
# follows; "Quit Installer" ends the program with 0 and nothing left open.
. "$(dirname "$0")/../lib.sh"

stage loaded
write_descriptor "$STAGE/setup.bin"
start_setup
drv wait-dialog Setup 20 || fail "no welcome dialog"
drv text 110
expect_eq "welcome" "Welcome to the Quest install program." "$(field text)"
drv click 2
wait_exit "$SETUP_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"
drv count '#32770'
expect_eq "boxes left" 0 "$(field count)"
