# The destination dialog refuses "c:", "games" and the installer's own
# directory (A:\, typed in another case) with "Invalid directory!"; a new
# directory is created only after Yes to string 200, and No keeps the
# dialog open.
. "$(dirname "$0")/../install_lib.sh"

make_package game DEST.EXE "Dest Game" - "DEST.EXE=5000" "DATA\\D.DAT=7000"
rm -rf "$WINEPREFIX/drive_c/scen/newdest"
set_settings ""

refused() {  # TEXT
  drv type 100 "$1"
  drv click 1
  drv wait-box 20 || fail "no box for '$1'"
  expect_eq "box for '$1'" "Invalid directory!" "$(field text)"
  drv box-press OK
  wait_text 110 "Setup will install Dest Game to this Drive and Directory:"
}

start_install
wait_text 110 "Welcome to the Dest Game install program." 60
drv click 101
wait_text 110 "Setup will install Dest Game to this Drive and Directory:"
refused 'c:'
refused 'games'
refused 'a:\'

drv type 100 'c:\scen\newdest\deeper'
drv click 1
drv wait-box 20 || fail "no question about the new directory"
expect_eq "question" 'The directory c:\scen\newdest\deeper does not exist. \n\nDo you want to create it?\n\nIf you choose "No", you will have to re-enter a different location.' "$(field text)"
drv box-press No
wait_text 110 "Setup will install Dest Game to this Drive and Directory:"
[ ! -e "$WINEPREFIX/drive_c/scen/newdest" ] || fail "created after No"
drv click 1
drv wait-box 20 || fail "no second question"
drv box-press Yes
answer_prompts "You have successfully installed Dest Game!"
quit_installer

expect_same_file "$(source_of DEST.EXE)" \
  "$WINEPREFIX/drive_c/scen/newdest/deeper/DEST.EXE"
expect_same_file "$(source_of 'DATA\D.DAT')" \
  "$WINEPREFIX/drive_c/scen/newdest/deeper/DATA/D.DAT"
