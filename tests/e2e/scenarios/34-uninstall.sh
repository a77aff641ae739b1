# Installed by setup.exe into c:\games\quest, a saved game added, then
# removed by the uninstaller the installer placed: the question and the
# closing box carry the product's title, the closing box says that the
# saved game stays in the product's directory, the drive holds what it held
# before the installation plus the shared library, tarny.ini and the saved
# game (with its directory), both Start Menu links are gone and the exit
# code is 3 (removed, files the user added kept).
#
# c:\games exists beforehand: the uninstaller never removes a directory
# above the product's.
. "$(dirname "$0")/../install_lib.sh"

make_package game QUEST.EXE Quest - \
  "QUEST.EXE=20000" "QUESTGFX.DLL=6000,shared,version=1.0" \
  "DATA\\LEVEL1.DAT=30000" "DATA\\MAPS\\DEEP.DAT=3000" \
  "README.TXT=500,noInstall" "uninstal.exe=$E2E_BIN/uninstal.exe"
set_settings ""
rm -rf "$WINEPREFIX/drive_c/games" "$SYS/QUESTGFX.DLL" "$PROGRAMS/Games"
mkdir -p "$WINEPREFIX/drive_c/games"
tree_listing >"$E2E_TMP/tree-before"

start_install
choose_setup Quest 'c:\games\quest'
drv wait-box 20 || fail "no question about the new directory"
drv box-press Yes
answer_prompts "You have successfully installed Quest!"
quit_installer
D="$WINEPREFIX/drive_c/games/quest"
[ -f "$D/uninstal.exe" ] && [ -f "$D/uninstal.bin" ] || fail "no uninstaller"
[ -f "$PROGRAMS/Games/Quest.lnk" ] || fail "no link Quest.lnk"
echo "saved game" >"$D/SAVE1.SAV"

start_uninstall 'C:\games\quest\uninstal.exe'
drv wait-box 30 || fail "no question"
expect_eq "caption" Quest "$(field caption)"
expect_eq "question" \
  "Do you want to completely remove Quest and all of its components?" \
  "$(field text)"
shot "$E2E_NAME-question"
drv box-press Yes
drv wait-box 30 || fail "no closing box"
expect_eq "closing box" \
  'Quest was removed from your computer, except the files you added.\n\nThey remain in C:\games\quest.\n\nShared files were kept, as other programs may use them.' \
  "$(field text)"
shot "$E2E_NAME-closing"
wait_exit "$UNINSTALL_PID" 20
expect_eq "exit code" 3 "$EXIT_CODE"
drv box-press OK

tree_listing >"$E2E_TMP/tree-after"
{
  cat "$E2E_TMP/tree-before"
  echo "./${SYS#"$WINEPREFIX/drive_c/"}/QUESTGFX.DLL"
  echo ./windows/tarny.ini
  echo ./games/quest
  echo ./games/quest/SAVE1.SAV
} | sort >"$E2E_TMP/tree-expected"
diff "$E2E_TMP/tree-expected" "$E2E_TMP/tree-after" >&2 ||
  fail "the drive differs from before the installation (see the log)"
for link in "Quest.lnk" "Uninstall Quest.lnk"; do
  [ ! -e "$PROGRAMS/Games/$link" ] || fail "the link $link is still there"
done
