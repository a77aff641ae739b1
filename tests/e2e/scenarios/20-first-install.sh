# A first installation from two disks, with no settings file: the disks are
# asked for in the order the chunks need them (disk 1 again at the end, for
# the descriptor copy), every file lands byte for byte, the uninstaller gets
# its descriptor copy, grmf=35 is stored, Wine's Program Manager makes the
# two links, and the finish dialog is template 412.
. "$(dirname "$0")/../install_lib.sh"

set_settings ""
make_package game FIRST.EXE "First Game" 185K \
  "FIRST.EXE=40000" "FIRSTGFX.DLL=6000,shared,version=1.0" \
  "DATA\\LEVEL1.DAT=300000" "DATA\\LEVEL2.DAT=50000" \
  "README.TXT=500,noInstall" "uninstal.exe=30000"
[ -d "$MEDIA/disk2" ] || fail "the package fits one disk"
rm -rf "$WIN/first" "$SYS/FIRSTGFX.DLL"

start_install
wait_text 110 "Welcome to the First Game install program." 60
drv text 101
expect_eq "setup button" "Setup First Game" "$(field text)"
drv enabled 102
expect_eq "Change Graphic Driver enabled" 0 "$(field enabled)"
shot "$E2E_NAME-welcome"
drv click 101
wait_text 110 "Setup will install First Game to this Drive and Directory:"
drv text 100
expect_eq "default directory" 'c:\windows\first' "$(field text)"
shot "$E2E_NAME-destination"
drv click 1
drv wait-box 20 || fail "no question about the new directory"
expect_eq "question" 'The directory c:\windows\first does not exist. \n\nDo you want to create it?\n\nIf you choose "No", you will have to re-enter a different location.' "$(field text)"
drv box-press Yes
answer_prompts "You have successfully installed First Game!"
shot "$E2E_NAME-finish"
expect_eq "disks asked for" "$(expected_prompts)" "$PROMPTS"
drv text 102
expect_eq "closing hint" "Double-click on its icon to start the program." \
  "$(field text)"
drv text 2
expect_eq "button" "&Quit Installer" "$(field text)"
quit_installer

for name in FIRST.EXE DATA/LEVEL1.DAT DATA/LEVEL2.DAT uninstal.exe; do
  expect_same_file "$(source_of "${name//\//\\}")" "$WIN/first/$name"
done
expect_same_file "$(source_of FIRSTGFX.DLL)" "$SYS/FIRSTGFX.DLL"
[ ! -e "$WIN/first/README.TXT" ] || fail "README.TXT was installed"
expect_same_file "$MEDIA/disk1/setup.bin" "$WIN/first/uninstal.bin"
expect_eq "grmf" 35 "$(settings_value)"
[ -f "$PROGRAMS/Games/First Game.lnk" ] || fail "no link First Game.lnk"
[ -f "$PROGRAMS/Games/Uninstall First Game.lnk" ] ||
  fail "no link Uninstall First Game.lnk"
