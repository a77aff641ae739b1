# Two uninstallers of one product started together: one removes, the other
# says that another uninstaller is already at work and ends with 5, having
# removed nothing; no box tells of a missing list. Nothing was added, so
# the closing box says the product was removed, the exit code is 0 and the
# directory goes.
. "$(dirname "$0")/../install_lib.sh"

D="$WINEPREFIX/drive_c/games/quest"
rm -rf "$D"
make_package game QUEST.EXE Quest - "QUEST.EXE=20000" \
  "DATA\\LEVEL1.DAT=30000" "uninstal.exe=$E2E_BIN/uninstal.exe"
quick_install 'C:\games\quest'

start_uninstall 'C:\games\quest\uninstal.exe'
first=$UNINSTALL_PID
start_uninstall 'C:\games\quest\uninstal.exe'
second=$UNINSTALL_PID

running=0
question=0
closing=
answered=
# The boxes of both come in either order; box-press answers the box on top,
# which may have changed since wait-box looked, so a box counts once it has
# been answered.
for _ in $(seq 60); do
  drv wait-box 1 || continue
  box=$(field box)
  # The box just answered may not have gone yet.
  [ "$box" != "$answered" ] || continue
  text=$(field text)
  caption=$(field caption)
  case $text in
    'Another uninstaller is already removing the program in C:\games\quest.')
      drv box-press OK || continue
      expect_eq "caption" Uninstall "$caption"
      running=$((running + 1))
      ;;
    'Do you want to completely remove Quest and all of its components?')
      drv box-press Yes || continue
      question=$((question + 1))
      ;;
    'Quest was successfully removed from your computer.')
      drv box-press OK || continue
      closing=1
      break
      ;;
    *) fail "unexpected box: $text" ;;
  esac
  answered=$box
done
[ -n "$closing" ] || fail "no closing box"
expect_eq "boxes saying another runs" 1 "$running"
expect_eq "questions" 1 "$question"
wait_exit "$first" 20
codes=$EXIT_CODE
wait_exit "$second" 20
codes="$codes $EXIT_CODE"
case $codes in
  "0 5" | "5 0") ;;
  *) fail "exit codes: expected 0 and 5, got $codes" ;;
esac
for _ in $(seq 25); do
  [ -e "$D" ] || break
  sleep 0.2
done
[ ! -e "$D" ] || fail "c:\\games\\quest is still there"
