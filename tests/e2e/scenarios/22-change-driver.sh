# "Change Graphic Driver": the dialog opens with the focus on Cancel, so
# Enter stores nothing; grmf=243 opens with the optimised driver chosen;
# WinG and OK store 67 (the low four bits kept); a second run choosing the
# standard driver and pressing Escape stores nothing. Nothing is installed.
. "$(dirname "$0")/../install_lib.sh"

make_package game DRIVER.EXE "Driver Game" - "DRIVER.EXE=1000"
rm -rf "$WIN/driver"
set_settings $'[setup]\r\ngrmf=243\r\n'
cp "$WIN/tarny.ini" "$E2E_TMP/settings-before"

start_install
wait_text 110 "Welcome to the Driver Game install program." 60
drv click 102
drv key return "Setup - Graphics Mode" || fail "no graphics-mode dialog"
expect_eq "focus in the graphics-mode dialog" 2 "$(field focus)"
wait_exit "$SETUP_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"
cmp -s "$E2E_TMP/settings-before" "$WIN/tarny.ini" ||
  fail "Enter changed the settings file (grmf=$(settings_value))"

start_install
wait_text 110 "Welcome to the Driver Game install program." 60
drv enabled 102
expect_eq "Change Graphic Driver enabled" 1 "$(field enabled)"
drv click 102
wait_text 101 "Optimised Driver (recommended)"
for id in 101 102 103; do
  drv checked $id
  expect_eq "radio $id checked" $([ $id = 101 ] && echo 1 || echo 0) \
    "$(field checked)"
done
drv press 103
sleep 0.5
drv checked 103
expect_eq "WinG chosen" 1 "$(field checked)"
shot "$E2E_NAME-wing"
drv click 1
wait_exit "$SETUP_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"
expect_eq "grmf after OK" 67 "$(settings_value)"
cp "$WIN/tarny.ini" "$E2E_TMP/settings-before"

start_install
wait_text 110 "Welcome to the Driver Game install program." 60
drv click 102
wait_text 101 "Optimised Driver (recommended)"
drv checked 103
expect_eq "WinG shown for 67" 1 "$(field checked)"
drv press 102
sleep 0.5
drv key escape
wait_exit "$SETUP_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"
cmp -s "$E2E_TMP/settings-before" "$WIN/tarny.ini" ||
  fail "Cancel changed the settings file"
[ ! -e "$WIN/driver" ] || fail "something was installed"
