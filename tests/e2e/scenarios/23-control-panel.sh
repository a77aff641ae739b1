# A Control Panel package: the Windows directory is proposed, no Program
# Manager group or item is made, the finish dialog says "Use the Control
# Panel to run it.", and the uninstaller is named after the program file.
. "$(dirname "$0")/../install_lib.sh"

make_package controlpanel PANEL.CPL "Scene Panel" - \
  "PANEL.CPL=12000" "uninstal.exe=6000"
set_settings ""
rm -f "$WIN/PANEL.CPL" "$WIN/PANEL.exe" "$WIN/PANEL.bin"

start_install
wait_text 110 "Welcome to the Scene Panel install program." 60
drv click 101
wait_text 110 "Setup will install Scene Panel to this Drive and Directory:"
drv text 100
expect_eq "default directory" 'c:\windows' "$(field text)"
drv click 1
answer_prompts "You have successfully installed Scene Panel!"
drv text 102
expect_eq "closing hint" "Use the Control Panel to run it." "$(field text)"
shot "$E2E_NAME-finish"
quit_installer

expect_same_file "$(source_of PANEL.CPL)" "$WIN/PANEL.CPL"
expect_same_file "$(source_of uninstal.exe)" "$WIN/PANEL.exe"
expect_same_file "$MEDIA/disk1/setup.bin" "$WIN/PANEL.bin"
[ ! -e "$WIN/uninstal.exe" ] || fail "the uninstaller took its own name"
links=$(find "$WINEPREFIX/drive_c/users" -name '*Scene Panel*' | wc -l)
expect_eq "links made" 0 "$links"
