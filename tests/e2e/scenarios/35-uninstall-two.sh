# Two products installed into one directory (uninstal.exe and unins1.exe):
# removing the second leaves the first's files and its uninstaller, which
# then works with /quiet: no box at any time, exit code 0, and the
# directory gone.
. "$(dirname "$0")/../install_lib.sh"

D="$WINEPREFIX/drive_c/games/quest"
rm -rf "$D"
make_package game QUEST.EXE Quest - "QUEST.EXE=20000" \
  "DATA\\LEVEL1.DAT=30000" "uninstal.exe=$E2E_BIN/uninstal.exe"
quick_install 'C:\games\quest'
make_package game OTHER.EXE Other - "OTHER.EXE=9000" \
  "DATA\\OTHER.DAT=5000" "uninstal.exe=$E2E_BIN/uninstal.exe"
quick_install 'C:\games\quest'
[ -f "$D/unins1.exe" ] && [ -f "$D/unins1.bin" ] ||
  fail "the second product has no uninstaller of its own"

start_uninstall 'C:\games\quest\unins1.exe'
drv wait-box 30 || fail "no question"
expect_eq "question" \
  "Do you want to completely remove Other and all of its components?" \
  "$(field text)"
drv box-press Yes
drv wait-box 30 || fail "no closing box"
expect_eq "closing box" "Other was successfully removed from your computer." \
  "$(field text)"
drv box-press OK
wait_exit "$UNINSTALL_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"
for name in OTHER.EXE DATA/OTHER.DAT unins1.exe unins1.bin; do
  [ ! -e "$D/$name" ] || fail "$name is still there"
done
for name in QUEST.EXE DATA/LEVEL1.DAT uninstal.exe uninstal.bin; do
  [ -f "$D/$name" ] || fail "$name of the first product is gone"
done

start_uninstall 'C:\games\quest\uninstal.exe' /quiet
# The finishing copy ends a moment after the first part: until the
# directory is gone, no box may show.
for _ in $(seq 40); do
  drv count '#32770' || fail "the driver cannot count the boxes"
  expect_eq "boxes" 0 "$(field count)"
  kill -0 "$UNINSTALL_PID" 2>/dev/null || [ -e "$D" ] || break
  sleep 0.25
done
wait_exit "$UNINSTALL_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"
[ ! -e "$D" ] || fail "c:\\games\\quest is still there"
