# A chunk at offset 0xFFFFFFFF, past what _llseek can reach (it takes a
# signed 32-bit offset): the read fails with "FAR.DAT: read error!", which
# only OK answers, and the run stops there. FAR.DAT gets no byte that is
# not its own and nothing after it is placed. The shared SEEKGFX.DLL lies
# after FAR.DAT in the volume but is placed first, so a reader that went on
# from where it stood would give FAR.DAT the stream of LAST.DAT.
. "$(dirname "$0")/../install_lib.sh"

make_package game SEEK.EXE "Seek Game" - "FAR.DAT=5000" \
  "SEEKGFX.DLL=6000,shared,version=1.0" "LAST.DAT=20000"
set_settings ""
rm -rf "$WIN/seek" "$SYS/SEEKGFX.DLL"

# The first ChunkEntry of FAR.DAT: after the 346-byte header, records of
# recordSize bytes; in each, flags at 2, the name at 6, then spareByte,
# the version words of a shared record, and the chunk list (disk, offset).
python3 - "$MEDIA/disk1/setup.bin" FAR.DAT <<'PY' || fail "cannot patch"
import struct, sys
path, wanted = sys.argv[1], sys.argv[2].encode()
data = bytearray(open(path, "rb").read())
count = struct.unpack_from("<H", data, 344)[0]
at = 346
for _ in range(count):
    size, flags = struct.unpack_from("<HH", data, at)
    name = data[at + 6:data.index(0, at + 6)]
    if name == wanted:
        chunk = at + 8 + len(name) + (8 if flags & 6 else 0)
        struct.pack_into("<I", data, chunk + 2, 0xFFFFFFFF)
        open(path, "wb").write(data)
        sys.exit(0)
    at += size
sys.exit(1)
PY

start_install
choose_setup "Seek Game"
drv wait-box 20 || fail "no question about the new directory"
drv box-press Yes
drv wait-box 20 || fail "no read error"
expect_eq "box" "FAR.DAT: read error!" "$(field text)"
expect_eq "buttons" "OK" \
  "$(printf '%s\n' "$DRV" | sed -n 's/^button [0-9]* //p' | paste -sd ' ')"
drv box-press OK
wait_exit "$SETUP_PID" 20
expect_eq "exit code" 0 "$EXIT_CODE"

expect_same_file "$(source_of SEEKGFX.DLL)" "$SYS/SEEKGFX.DLL"
rm -f "$SYS/SEEKGFX.DLL"
far="$WIN/seek/FAR.DAT"
if [ -e "$far" ]; then
  cmp -s -n "$(stat -c %s "$far")" "$far" "$(source_of FAR.DAT)" ||
    fail "FAR.DAT holds bytes that are not its own"
fi
[ ! -e "$WIN/seek/LAST.DAT" ] || fail "LAST.DAT was placed after the failure"
expect_eq "grmf" absent "$(settings_value)"
