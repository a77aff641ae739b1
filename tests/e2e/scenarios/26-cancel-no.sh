# Cancel during the transfer answered with No: the confirmation names the
# product, and the installation goes on to its end as if nothing happened.
. "$(dirname "$0")/../install_lib.sh"

make_package game GOON.EXE "Go On" 185K \
  "GOON.EXE=20000" "BIG.DAT=400000" "A.DAT=30000" "B.DAT=30000" \
  "uninstal.exe=5000"
set_settings ""
rm -rf "$WIN/goon"

start_install
choose_setup "Go On"
drv wait-box 20 || fail "no question about the new directory"
drv box-press Yes
drv wait-box 60 || fail "no disk prompt"
expect_eq "prompt" "Insert disk 2 in drive A." "$(field text)"
insert_disk 2
# OK, and Cancel at once: the run sees Cancel between two files.
drv box-then-click OK 2 || fail "could not press OK and Cancel"
wait_text 101 "If you halt the installation now, you will have to run this utility again to completely install Go On."
shot "$E2E_NAME-confirm"
drv click 7
answer_prompts "You have successfully installed Go On!"
quit_installer

for name in GOON.EXE BIG.DAT A.DAT B.DAT uninstal.exe; do
  expect_same_file "$(source_of "$name")" "$WIN/goon/$name"
done
[ -f "$PROGRAMS/Games/Go On.lnk" ] || fail "no link Go On.lnk"
expect_eq "grmf" 35 "$(settings_value)"
