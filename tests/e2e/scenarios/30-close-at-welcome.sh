# The close command (Alt+F4 on MainWindow) during the welcome dialog ends
# the program like "Quit Installer": exit code 0, nothing installed.
. "$(dirname "$0")/../install_lib.sh"

make_package game CLOSE.EXE "Close Game" - "CLOSE.EXE=1000"
set_settings ""
rm -rf "$WIN/close"

start_install
wait_text 110 "Welcome to the Close Game install program." 60
drv syscommand-close VemoClass || fail "no main window"
wait_exit "$SETUP_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"
[ ! -e "$WIN/close" ] || fail "something was installed"
expect_eq "grmf" absent "$(settings_value)"
