# An installation over an earlier one that fails inside a file it was
# replacing (the prompt for the disk holding the file's second chunk is
# cancelled) leaves the earlier file byte for byte and no temporary file;
# the file placed before it is the new one, whole.
. "$(dirname "$0")/../install_lib.sh"

make_package game KEEP.EXE "Keep Game" 185K \
  "KEEP.EXE=20000" "BIG.DAT=400000"
set_settings ""
rm -rf "$WIN/keep"
mkdir -p "$WIN/keep"
gen_file "$WIN/keep/BIG.DAT" 300000 77
gen_file "$WIN/keep/KEEP.EXE" 1000 78
cp "$WIN/keep/BIG.DAT" "$E2E_TMP/big-before"

start_install
choose_setup "Keep Game"
drv wait-box 60 || fail "no disk prompt"
expect_eq "prompt" "Insert disk 2 in drive A." "$(field text)"
drv box-press Cancel
wait_exit "$SETUP_PID" 30
expect_eq "exit code" 0 "$EXIT_CODE"

expect_same_file "$E2E_TMP/big-before" "$WIN/keep/BIG.DAT"
expect_same_file "$(source_of KEEP.EXE)" "$WIN/keep/KEEP.EXE"
leftovers=$(find "$WIN/keep" -iname 'SETUP$$*' | wc -l)
expect_eq "temporary files left" 0 "$leftovers"
expect_eq "grmf" absent "$(settings_value)"
