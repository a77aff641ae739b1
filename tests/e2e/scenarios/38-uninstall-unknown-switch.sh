# A switch the uninstaller does not know (-quiet, which some scripts pass)
# shows a box naming the switches it takes, removes nothing and ends with 4;
# beside a quiet switch it shows nothing and ends with 4 as well.
. "$(dirname "$0")/../install_lib.sh"

D="$WINEPREFIX/drive_c/games/quest"
rm -rf "$D"
make_package game QUEST.EXE Quest - "QUEST.EXE=20000" \
  "uninstal.exe=$E2E_BIN/uninstal.exe"
quick_install 'C:\games\quest'
tree_listing >"$E2E_TMP/tree-before"

start_uninstall 'C:\games\quest\uninstal.exe' -quiet
drv wait-box 30 || fail "no box about the switch"
expect_eq "caption" Uninstall "$(field caption)"
expect_eq "box" \
  'Unknown switch: -quiet\n\nUninstall takes only /quiet, or /S, /SILENT or /VERYSILENT, which mean the same: remove without asking and without any message.' \
  "$(field text)"
shot "$E2E_NAME-box"
drv box-press OK
wait_exit "$UNINSTALL_PID" 20
expect_eq "exit code" 4 "$EXIT_CODE"

start_uninstall 'C:\games\quest\uninstal.exe' /x /S
while kill -0 "$UNINSTALL_PID" 2>/dev/null; do
  drv count '#32770' || fail "the driver cannot count the boxes"
  expect_eq "boxes" 0 "$(field count)"
done
wait_exit "$UNINSTALL_PID" 5
expect_eq "exit code beside /S" 4 "$EXIT_CODE"

tree_listing >"$E2E_TMP/tree-after"
diff "$E2E_TMP/tree-before" "$E2E_TMP/tree-after" >&2 ||
  fail "something was removed (see the log)"
