# A second installation over the settings of a first one (grmf=99): the
# settings file stays as it was, the finish dialog is template 411, and the
# earlier uninstaller of the same product (uninstal.exe with a descriptor
# copy naming the same program) is replaced under its own name.
. "$(dirname "$0")/../install_lib.sh"

make_package game SECOND.EXE "Second Game" - \
  "SECOND.EXE=20000" "uninstal.exe=8000" "DATA\\MAP.DAT=30000"
rm -rf "$WIN/second"
mkdir -p "$WIN/second"
echo "old uninstaller" >"$WIN/second/uninstal.exe"
cp "$MEDIA/disk1/setup.bin" "$WIN/second/uninstal.bin"
set_settings $'[setup]\r\ngrmf=99\r\n'
cp "$WIN/tarny.ini" "$E2E_TMP/settings-before"

start_install
wait_text 110 "Welcome to the Second Game install program." 60
drv enabled 102
expect_eq "Change Graphic Driver enabled" 1 "$(field enabled)"
choose_setup "Second Game"
answer_prompts "You have successfully installed Second Game."
expect_eq "disks asked for" "" "$PROMPTS"
drv text 102
expect_eq "closing hint" "Double-click on its icon to start the program." \
  "$(field text)"
shot "$E2E_NAME-finish"
quit_installer

cmp -s "$E2E_TMP/settings-before" "$WIN/tarny.ini" ||
  fail "the settings file was changed"
expect_same_file "$(source_of uninstal.exe)" "$WIN/second/uninstal.exe"
expect_same_file "$MEDIA/disk1/setup.bin" "$WIN/second/uninstal.bin"
[ ! -e "$WIN/second/unins1.exe" ] || fail "a new uninstaller name was taken"
expect_same_file "$(source_of 'DATA\MAP.DAT')" "$WIN/second/DATA/MAP.DAT"
[ -f "$PROGRAMS/Games/Uninstall Second Game.lnk" ] ||
  fail "no link Uninstall Second Game.lnk"
