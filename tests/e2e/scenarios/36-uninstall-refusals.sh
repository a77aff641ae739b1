# What the uninstaller refuses: without its list it names the list and
# removes nothing (exit code 1); a read-only file gets the Abort, Retry,
# Ignore box: Abort stops with the uninstaller still there (2), Ignore
# keeps the file, removes the rest and says so (2).
. "$(dirname "$0")/../install_lib.sh"

D="$WINEPREFIX/drive_c/games/quest"
release() { [ ! -e "$D/DATA/LEVEL1.DAT" ] || chmod 644 "$D/DATA/LEVEL1.DAT"; }
trap release EXIT
rm -rf "$D"
make_package game QUEST.EXE Quest - "QUEST.EXE=20000" \
  "DATA\\LEVEL1.DAT=30000" "DATA\\LEVEL2.DAT=3000" \
  "uninstal.exe=$E2E_BIN/uninstal.exe"
quick_install 'C:\games\quest'

mv "$D/uninstal.bin" "$E2E_TMP/list"
start_uninstall 'C:\games\quest\uninstal.exe'
drv wait-box 30 || fail "no box about the list"
expect_eq "caption" Uninstall "$(field caption)"
expect_eq "box" 'C:\games\quest\uninstal.bin is missing!' "$(field text)"
drv box-press OK
wait_exit "$UNINSTALL_PID" 20
expect_eq "exit code" 1 "$EXIT_CODE"
[ -f "$D/QUEST.EXE" ] || fail "a file was removed without a list"
mv "$E2E_TMP/list" "$D/uninstal.bin"

chmod 444 "$D/DATA/LEVEL1.DAT"
cannot_remove() {  # BUTTON
  drv wait-box 30 || fail "no box for the read-only file"
  expect_eq "box" \
    'C:\games\quest\DATA\LEVEL1.DAT: Uninstall cannot remove this file.' \
    "$(field text)"
  printf '%s\n' "$DRV" | grep -q '^button [0-9]* Retry$' ||
    fail "no Retry button"
  drv box-press "$1"
}
start_uninstall 'C:\games\quest\uninstal.exe'
drv wait-box 30 || fail "no question"
drv box-press Yes
cannot_remove Abort
wait_exit "$UNINSTALL_PID" 20
expect_eq "exit code after Abort" 2 "$EXIT_CODE"
[ ! -e "$D/QUEST.EXE" ] || fail "QUEST.EXE, listed first, is still there"
for name in DATA/LEVEL2.DAT uninstal.exe uninstal.bin; do
  [ -f "$D/$name" ] || fail "$name went after Abort"
done

start_uninstall 'C:\games\quest\uninstal.exe'
drv wait-box 30 || fail "no question"
drv box-press Yes
cannot_remove Ignore
drv wait-box 30 || fail "no closing box"
expect_eq "closing box" "Some files of Quest could not be removed." \
  "$(field text)"
drv box-press OK
wait_exit "$UNINSTALL_PID" 20
expect_eq "exit code after Ignore" 2 "$EXIT_CODE"
[ -f "$D/DATA/LEVEL1.DAT" ] || fail "the read-only file went"
for name in DATA/LEVEL2.DAT uninstal.exe uninstal.bin; do
  [ ! -e "$D/$name" ] || fail "$name is still there"
done
