# Hostile images: a record with a bad fixup, a $Secure descriptor cut short,
# a zeroed boot sector, partition tables that point past the end. Each
# failure is one log entry, the neighbours are still printed, and nothing
# crashes (the sanitizer build runs this too) or writes to the image.
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
# A directory whose index lists the directory itself below it.
mkdir -p "$M/L/loop/inner"
echo x >"$M/L/loop/file"
loop=$(stat -c %i "$M/L/loop")
ntfs_unmount "$work"

# corrupt IMAGE RECORD CUT-SID: breaks the fixup of the record and cuts
# the descriptor with that SID to 24 bytes wherever $Secure keeps its
# length ($SDS, $SII, $SDH).
python3 - "$I" "$record" "$CUT" "$loop" <<'PY' || fail "the image could not be corrupted"
import struct, sys
path, record, sid, loop = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
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
CASES
expect_eq "image unchanged" "$sum" "$(sha256sum <"$I")"
finish
