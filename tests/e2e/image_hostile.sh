# Hostile images: a record with a bad fixup (a file's and a directory's), an
# index block with one, a $Secure descriptor cut short, a zeroed boot sector,
# partition tables that point past the end, a dirty volume under a name with
# a newline. Each failure is logged, the neighbours are still printed, and
# nothing crashes (the sanitizer build runs this too) or writes to the image.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"
source "$(dirname "$0")/lib/images.sh"
if [ "${VESK_IMAGES_BUILT:-0}" != 1 ]; then
  echo "SKIP: built without libntfs-3g (images.sh checks that build)"
  exit 77
fi
images_require

work=$(mktemp -d)
trap 'ntfs_unmount "$work"; rm -rf "$work"' EXIT
ntfs_mount "$work"
M=$work/mnt
I=$work/image
ADMINS=S-1-5-32-544 SYSTEM=S-1-5-18 USERS=S-1-5-32-545
CUT=S-1-5-21-777-888-999-4242

mkdir "$M/H"
for name in a-before bad-record cut-descriptor z-after; do
  echo "$name" >"$M/H/$name"
  set_acl "$M/H/$name" control=0x0004 owner=$ADMINS group=$SYSTEM \
    A:0x00:0x1200A9:$USERS
done
set_acl "$M/H/cut-descriptor" control=0x0004 owner=$ADMINS group=$SYSTEM \
  A:0x00:0x1200A9:$CUT
record=$(stat -c %i "$M/H/bad-record")
# A directory whose own record is damaged.
mkdir -p "$M/H/bad-dir/inner"
dir_record=$(stat -c %i "$M/H/bad-dir")
# A directory whose index lists the directory itself below it.
mkdir -p "$M/L/loop/inner"
echo x >"$M/L/loop/file"
loop=$(stat -c %i "$M/L/loop")
# A directory whose index is damaged, made last: the records corrupted
# below by their number must lie in the first run of the MFT.
mkdir "$M/Big"
(cd "$M/Big" && seq -f 'f%04g' 1 3000 | xargs touch)
ntfs_unmount "$work"

# corrupt IMAGE RECORD CUT-SID: breaks the fixup of the record and cuts
# the descriptor with that SID to 24 bytes wherever $Secure keeps its
# length ($SDS, $SII, $SDH).
python3 - "$I" "$record" "$CUT" "$loop" "$dir_record" <<'PY' || fail "the image could not be corrupted"
import struct, sys
path, record, sid, loop = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
dir_record = int(sys.argv[5])
data = bytearray(open(path, "rb").read())
sector = struct.unpack_from("<H", data, 11)[0]
cluster = sector * data[13]
mft = struct.unpack_from("<q", data, 0x30)[0] * cluster
per = struct.unpack_from("<b", data, 0x40)[0]
size = 1 << -per if per < 0 else per * cluster
at = mft + record * size
assert data[at:at + 4] == b"FILE", "no MFT record there"
assert "bad-record".encode("utf-16-le") in data[at:at + size]
data[at + 510] ^= 0xFF  # no longer the update sequence number
data[mft + dir_record * size + 510] ^= 0xFF
# The index block of Big that lists f1500.
name = "f1500".encode("utf-16-le")
block = next(b for b in range(0, len(data), 512)
             if data[b:b + 4] == b"INDX" and name in data[b:b + 4096])
data[block + 510] ^= 0xFF
# The index entry of "inner" in loop's record points at loop itself.
at = mft + loop * size
name = data.find("inner".encode("utf-16-le"), at, at + size)
assert name > 0, "no index entry for inner"
entry = name - 66 - 16
assert struct.unpack_from("<Q", data, entry + 16)[0] & 0xFFFFFFFFFFFF == loop
data[entry:entry + 8] = struct.pack("<Q", loop | struct.unpack_from(
    "<H", data, at + 16)[0] << 48)
parts = [int(p) for p in sid.split("-")[2:]]
sid_bytes = bytes([1, len(parts) - 1]) + parts[0].to_bytes(6, "big") + \
    b"".join(struct.pack("<I", p) for p in parts[1:])
found = data.find(sid_bytes)
assert found > 0, "descriptor not found"
# The descriptor starts at a 16-byte boundary of $SDS, after its header.
start = None
for back in range(20, 4096, 4):
    d = found - back
    if data[d] == 1 and (d - 20) % 16 == 0:
        length = struct.unpack_from("<I", data, d - 4)[0]
        if d - 20 + length >= found + len(sid_bytes):
            start = d
            break
assert start, "no $SDS header"
header = bytes(data[start - 20:start])
new = header[:16] + struct.pack("<I", 20 + 24)
copies = 0
at = data.find(header)
while at >= 0:
    data[at:at + 20] = new
    copies += 1
    at = data.find(header, at + 1)
assert copies >= 2, "one copy of the header only"
open(path, "wb").write(data)
PY
sum=$(sha256sum <"$I")

# run NAME PATH: vesk's report of PATH with its log.
run() {
  out=$("$VESK" "$2" /readacl /s /f "/l:$work/$1.log" 2>"$work/$1.err")
  code=$?
  expect_eq "$1: exit" 0 "$code"
}

run neighbours "$I/H"
expect_eq "neighbours printed" "$I/H
$I/H/a-before
$I/H/z-after" "$(printf '%s\n' "$out" | grep -v '^	' | grep -v '^$' | cut -f1)"
expect_eq "bad record logged" "GetNamedSecurityInfo () failed for: $I/H/bad-record
GetNamedSecurityInfo () error: 1392" \
  "$(grep -A1 "failed for: $I/H/bad-record\$" "$work/neighbours.log" | cut -f2-)"
expect_eq "cut descriptor logged" "GetNamedSecurityInfo () failed for: $I/H/cut-descriptor
GetNamedSecurityInfo () error: 1338" \
  "$(grep -A1 "failed for: $I/H/cut-descriptor\$" "$work/neighbours.log" |
    cut -f2-)"
expect_eq "neighbours stderr" "" "$(cat "$work/neighbours.err")"

expect_eq "damaged directory logged" "GetNamedSecurityInfo () failed for: $I/H/bad-dir
GetNamedSecurityInfo () error: 1392
FindFirstFile () failed for: $I/H/bad-dir
FindFirstFile () error: 1392" \
  "$(grep -A3 "failed for: $I/H/bad-dir\$" "$work/neighbours.log" | head -n 4 |
    cut -f2-)"

# A listing cut short is logged; what was read before it is printed.
run index "$I/Big"
expect_eq "index cut short logged" "FindFirstFile () failed for: $I/Big
FindFirstFile () error: 1117" "$(grep FindFirstFile "$work/index.log" | cut -f2-)"
expect_eq "index: fewer entries" 1 \
  "$(n=$(printf '%s\n' "$out" | block_paths | wc -l) && [ "$n" -lt 3001 ] &&
    echo 1)"

# The loop is listed once, not entered again.
run loop "$I/L"
expect_eq "loop listed once" "$I/L
$I/L/loop
$I/L/loop/file
$I/L/loop/inner" "$(printf '%s\n' "$out" | grep -v '^	' | grep -v '^$' | cut -f1)"

# Broken volumes and tables: one log entry for the path.
cp "$I" "$work/zeroed"
dd if=/dev/zero of="$work/zeroed" bs=512 count=1 conv=notrunc status=none
mbr_disk "$work/disk" "$I"
cp "$work/disk" "$work/zeroed-partition"
dd if=/dev/zero of="$work/zeroed-partition" bs=512 seek=2048 count=1 \
  conv=notrunc status=none
cp "$work/disk" "$work/past-end"
truncate -s 20M "$work/past-end"
# patch FILE OFFSET: four bytes of an MBR entry set to 0x00100000.
patch() {
  cp "$work/disk" "$work/$1"
  printf '\x00\x00\x10\x00' |
    dd of="$work/$1" bs=1 seek="$2" conv=notrunc status=none
}
patch size-past-end $((446 + 12))
patch starts-past-end $((446 + 8))
head -c 8M "$I" >"$work/truncated"
# Boot code of another file system (FAT) where a table would be.
python3 -c 'import sys
b = bytearray(1 << 20)
m = b"\r\nRemove disks or other media.\xff\r\nDisk error\xff\r\n"
b[446:446 + len(m)] = m
b[510:512] = b"\x55\xaa"
open(sys.argv[1], "wb").write(b)' "$work/fat"
while IFS='|' read -r name error; do
  run "$name" "$work/$name"
  expect_eq "$name: output" "" "$out"
  # Not an image at all: a plain file, 50, or 1350 where Samba's attribute
  # could be stored.
  [ "$error" = plain ] && error=$(no_descriptor_code "$work")
  expect_eq "$name: log" "GetNamedSecurityInfo () failed for: $work/$name
GetNamedSecurityInfo () error: $error" "$(tail -n 2 "$work/$name.log" | cut -f2-)"
done <<'CASES'
zeroed|plain
zeroed-partition|1005
past-end|1393
size-past-end|1393
starts-past-end|1393
truncated|1393
fat|1005
CASES
# A dirty volume is read as it is, with one line on stderr that escapes the
# path as every printed path is.
dirty=$work/$'dirty\nvolume'
cp "$I" "$dirty"
python3 - "$dirty" <<'PY' || fail "the volume could not be marked dirty"
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
cluster = struct.unpack_from("<H", data, 11)[0] * data[13]
per = struct.unpack_from("<b", data, 0x40)[0]
for table in 0x30, 0x38:  # $Volume in $MFT and in its mirror
    at = struct.unpack_from("<q", data, table)[0] * cluster + 3 * (
        1 << -per if per < 0 else per * cluster)
    attribute = at + struct.unpack_from("<H", data, at + 0x14)[0]
    while struct.unpack_from("<I", data, attribute)[0] != 0x70:
        attribute += struct.unpack_from("<I", data, attribute + 4)[0]
    value = attribute + struct.unpack_from("<H", data, attribute + 0x14)[0]
    data[value + 10] |= 0x01
open(sys.argv[1], "wb").write(data)
PY
run dirty "$dirty"
expect_eq "dirty volume: stderr" "vesk: $work/dirty\\012volume: the volume is marked dirty; its metadata may be stale" \
  "$(cat "$work/dirty.err")"
expect_eq "image unchanged" "$sum" "$(sha256sum <"$I")"
finish
