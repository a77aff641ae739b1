# Cancel during the transfer answered with Yes (Enter, Yes having the
# focus): the file being placed is finished, nothing after it is placed,
# the uninstaller already placed gets its descriptor copy, and there is no
# settings write, no Program Manager registration and no finish dialog;
# the program ends with 0.
. "$(dirname "$0")/../install_lib.sh"

make_package game HALT.EXE "Halt Game" 185K \
  "HALT.EXE=20000" "uninstal.exe=5000" "BIG.DAT=400000" "A.DAT=30000" \
  "B.DAT=30000"
set_settings ""
rm -rf "$WIN/halt"

start_install
choose_setup "Halt Game"
drv wait-box 20 || fail "no question about the new directory"
drv box-press Yes
drv wait-box 60 || fail "no disk prompt"
expect_eq "prompt" "Insert disk 2 in drive A." "$(field text)"
insert_disk 2
drv box-then-click OK 2 || fail "could not press OK and Cancel"
wait_text 101 "If you halt the installation now, you will have to run this utility again to completely install Halt Game."
drv key return   # Yes has the focus
expect_eq "focus in the halt confirmation" 6 "$(field focus)"
# The descriptor copy asks for disk 1 again.
drv wait-box 30 || fail "no prompt for disk 1"
expect_eq "prompt" "Insert disk 1 in drive A." "$(field text)"
insert_disk 1
drv box-press OK
wait_exit "$SETUP_PID" 30
expect_eq "exit code" 0 "$EXIT_CODE"

expect_same_file "$(source_of BIG.DAT)" "$WIN/halt/BIG.DAT"
expect_same_file "$MEDIA/disk1/setup.bin" "$WIN/halt/uninstal.bin"
[ ! -e "$WIN/halt/A.DAT" ] || fail "A.DAT was placed after the halt"
[ ! -e "$WIN/halt/B.DAT" ] || fail "B.DAT was placed after the halt"
expect_eq "grmf" absent "$(settings_value)"
links=$(find "$WINEPREFIX/drive_c/users" -name '*Halt Game*' | wc -l)
expect_eq "links made" 0 "$links"
