# A shared DLL whose installed copy carries a newer version resource
# (questgfx.dll, 1.2.0.7, against a packaged 1.0) stays as it was; the rest
# of the package is installed.
. "$(dirname "$0")/../install_lib.sh"

[ -f "$E2E_BIN/questgfx.dll" ] || fail "no questgfx.dll in $E2E_BIN"
make_package game SHARE.EXE "Share Game" - \
  "SHARE.EXE=5000" "SCENGFX.DLL=9000,shared,version=1.0"
set_settings ""
rm -rf "$WIN/share"
cp "$E2E_BIN/questgfx.dll" "$SYS/SCENGFX.DLL"

start_install
choose_setup "Share Game"
drv wait-box 20 || fail "no question about the new directory"
drv box-press Yes
answer_prompts "You have successfully installed Share Game!"
quit_installer

cmp -s "$E2E_BIN/questgfx.dll" "$SYS/SCENGFX.DLL" ||
  fail "the newer shared DLL was replaced"
expect_same_file "$(source_of SHARE.EXE)" "$WIN/share/SHARE.EXE"
rm -f "$SYS/SCENGFX.DLL"
