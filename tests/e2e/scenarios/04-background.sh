# While the "is missing!" box is up, MainWindow lies at W/8, H/8 with size
# 3W/4 x 3H/4 and its client area shows the gradient: row y of H rows is
# RGB(0, 0, 255 - floor(255 y / H)), pure blue on top, nearly black at the
# bottom, across the whole width. The screenshot is kept.
. "$(dirname "$0")/../lib.sh"

read -r width height <<<"$E2E_SCREEN"
stage background
start_setup
drv wait-box 20 || fail "no message box"
drv window-rect VemoClass || fail "no main window"
expect_eq "window rectangle" \
  "$((width / 8)) $((height / 8)) $((width / 8 + 3 * width / 4)) $((height / 8 + 3 * height / 4))" \
  "$(field window)"
read -r left top right bottom <<<"$(field client)"
shot "$E2E_NAME"

rows=$((bottom - top))
[ "$rows" -gt 0 ] || fail "empty client area"
# Every row of two columns near the edges, clear of the box in the middle.
for x in $((left + 2)) $((right - 3)); do
  mismatch=$(convert "$E2E_SHOTS/$E2E_NAME.png" -crop "1x$rows+$x+$top" \
    -depth 8 txt:- | awk -F'[(,):]' -v rows="$rows" '
      /^#/ { next }
      { y = $2; want = 255 - int(255 * y / rows); checked++
        if ($4 + 0 != 0 || $5 + 0 != 0 || $6 + 0 != want) {
          printf "row %d is (%d,%d,%d), not (0,0,%d)", y, $4, $5, $6, want
          exit } }
      END { if (checked != rows) printf "read %d rows of %d", checked, rows }')
  [ -z "$mismatch" ] || fail "gradient at x $x: $mismatch"
done

drv box-press OK || fail "could not press OK"
wait_exit "$SETUP_PID" 15
expect_eq "exit code" 0 "$EXIT_CODE"
