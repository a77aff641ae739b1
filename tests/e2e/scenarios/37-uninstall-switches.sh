# /S, /SILENT and /VERYSILENT, the switches other uninstallers take, work
# as /quiet: no box at any time, and when the uninstaller exits everything
# it removes is gone but its own uninstal.exe, which goes a moment later
# with the directory. With a saved game added, the exit code is 3 and the
# directory stays with the game.
. "$(dirname "$0")/../install_lib.sh"

D="$WINEPREFIX/drive_c/games/quest"
make_package game QUEST.EXE Quest - "QUEST.EXE=20000" \
  "DATA\\LEVEL1.DAT=30000" "uninstal.exe=$E2E_BIN/uninstal.exe"

for switch in /S /SILENT /VERYSILENT; do
  rm -rf "$D"
  quick_install 'C:\games\quest'
  expected=0
  if [ "$switch" = /VERYSILENT ]; then
    echo "saved game" >"$D/SAVE1.SAV"
    expected=3
  fi
  start_uninstall 'C:\games\quest\uninstal.exe' "$switch"
  while kill -0 "$UNINSTALL_PID" 2>/dev/null; do
    drv count '#32770' || fail "the driver cannot count the boxes"
    expect_eq "boxes with $switch" 0 "$(field count)"
  done
  wait_exit "$UNINSTALL_PID" 5
  # At once: nothing of the product but the uninstaller (if it has not
  # gone yet) and the user's game.
  left=$(cd "$D" 2>/dev/null && ls | grep -v -x -e uninstal.exe -e SAVE1.SAV)
  expect_eq "left at the exit with $switch" "" "$left"
  expect_eq "exit code with $switch" "$expected" "$EXIT_CODE"
  for _ in $(seq 50); do
    [ -e "$D/uninstal.exe" ] || break
    sleep 0.2
  done
  [ ! -e "$D/uninstal.exe" ] || fail "uninstal.exe stays after $switch"
  if [ "$expected" = 0 ]; then
    for _ in $(seq 25); do
      [ -e "$D" ] || break
      sleep 0.2
    done
    [ ! -e "$D" ] || fail "c:\\games\\quest stays after $switch"
  else
    expect_eq "left with the saved game" SAVE1.SAV "$(ls "$D")"
  fi
  drv count '#32770'
  expect_eq "boxes after $switch" 0 "$(field count)"
done
