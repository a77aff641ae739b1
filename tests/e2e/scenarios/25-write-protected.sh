# An existing file that is write protected: the box offers Abort, Retry and
# Ignore; Ignore keeps the old file and the installation goes on.
#
# Wine shows a file without write permission as read-only, but root may
# write it all the same; as root the file is made immutable as well, and
# the scenario lifts that again however it ends.
. "$(dirname "$0")/../install_lib.sh"

OLD="$WIN/guard/OLD.TXT"
release() {
  if [ -e "$OLD" ]; then
    chattr -i "$OLD" 2>/dev/null
    chmod 644 "$OLD"
  fi
}
trap release EXIT
release

make_package game GUARD.EXE "Guard Game" - \
  "GUARD.EXE=5000" "OLD.TXT=3000" "NEW.TXT=4000"
set_settings ""
rm -rf "$WIN/guard"
mkdir -p "$WIN/guard"
echo "the old file" >"$OLD"
cp "$OLD" "$E2E_TMP/old"
chmod 444 "$OLD"
if [ "$(id -u)" = 0 ]; then
  chattr +i "$OLD" || fail "cannot make $OLD immutable"
fi

start_install
choose_setup "Guard Game"
drv wait-box 30 || fail "no box for the protected file"
expect_eq "box" 'c:\windows\guard\OLD.TXT: Setup cannot replace this file because it is write protected.' "$(field text)"
printf '%s\n' "$DRV" | grep -q '^button [0-9]* Ignore$' ||
  fail "no Ignore button"
drv box-press Ignore
answer_prompts "You have successfully installed Guard Game!"
quit_installer

cmp -s "$E2E_TMP/old" "$OLD" || fail "the old file changed"
expect_same_file "$(source_of NEW.TXT)" "$WIN/guard/NEW.TXT"
