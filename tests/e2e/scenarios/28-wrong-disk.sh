# The wrong disk in the drive (a volume whose volumeDisk is 1 when disk 2
# is asked for) brings the same prompt again; the right one goes on.
. "$(dirname "$0")/../install_lib.sh"

make_package game WRONG.EXE "Wrong Disk" 185K \
  "WRONG.EXE=20000" "BIG.DAT=400000"
set_settings ""
rm -rf "$WIN/wrong"

start_install
choose_setup "Wrong Disk"
drv wait-box 20 || fail "no question about the new directory"
drv box-press Yes
drv wait-box 60 || fail "no disk prompt"
expect_eq "prompt" "Insert disk 2 in drive A." "$(field text)"
first=$(field box)
drv box-press OK   # disk 1 is still in the drive
for _ in $(seq 40); do
  drv wait-box 1 && [ "$(field box)" != "$first" ] && break
  sleep 0.25
done
[ "$(field box)" != "$first" ] || fail "no second prompt"
expect_eq "prompt again" "Insert disk 2 in drive A." "$(field text)"
insert_disk 2
drv box-press OK
answer_prompts "You have successfully installed Wrong Disk!"
quit_installer
expect_same_file "$(source_of BIG.DAT)" "$WIN/wrong/BIG.DAT"
