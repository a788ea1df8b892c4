# Volumes read straight from images: a tree made through an ntfs-3g mount is
# reported the same, byte for byte apart from the path prefix, from the
# mount and from the image file, the image behind an MBR (also as a logical
# partition), behind a GPT, inside a split E01 file and inside VHD, VHDX,
# VMDK, QCOW2 and split raw images; the log too. Failures are one log entry
# each; nothing is ever written to an image.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"
source "$(dirname "$0")/lib/images.sh"
images_require

work=$(mktemp -d)
chmod 755 "$work"
trap 'ntfs_unmount "$work"; rm -rf "$work"' EXIT
I=$work/image

# report ARGS...: vesk's output and exit code, stderr kept apart.
report() {
  out=$("$VESK" "$@" 2>"$work/err")
  code=$?
}

# --- Built without the libraries, a path into an image is not supported.
if [ "${VESK_IMAGES_BUILT:-0}" != 1 ]; then
  truncate -s 8M "$I"
  mkntfs -F -Q -q "$I" >/dev/null 2>&1
  before=$(sha256sum <"$I")
  for path in "$I" "$I/Users" "$I@1"; do
    report "$path" /readacl /s "/l:$work/log"
    expect_eq "$path: no output" "" "$out"
    expect_eq "$path: exit" 0 "$code"
    expect_eq "$path: not supported" "GetNamedSecurityInfo () failed for: $path
GetNamedSecurityInfo () error: 50" "$(tail -n 2 "$work/log" | cut -f2-)"
  done
  expect_eq "image unchanged" "$before" "$(sha256sum <"$I")"
  finish
  exit
fi

ntfs_mount "$work"
M=$work/mnt
ADMINS=S-1-5-32-544 USERS=S-1-5-32-545 SYSTEM=S-1-5-18 EVERYONE=S-1-1-0
GONE=S-1-5-21-1004336348-1177238915-682003330-1105

# --- The tree.
D=$M/Data
mkdir -p "$D/empty dir" "$D/shared" "$D/links/target" "$D/junction" \
  "$D/hidden"
touch "$D/empty file"
long=$(printf 'L%.0s' $(seq 1 250)).txt
echo long >"$D/$long"
for name in "Ünïcødé" "Ελληνικά" "目录" "smile 😀 𝄞" "tab	in name"; do
  mkdir "$D/$name"
  echo x >"$D/$name/inner.txt"
done
# An 8.3 name beside the long one: listed once, under the long name.
echo dos >"$D/Long File Name.txt"
setfattr -n system.ntfs_dos_name -v 'LONGFI~1.TXT' "$D/Long File Name.txt"
# Hidden and system files are listed like any other.
echo h >"$D/hidden/hidden.txt"
echo s >"$D/hidden/system.txt"
setfattr -n system.ntfs_attrib_be -v 0x00000022 "$D/hidden/hidden.txt"
setfattr -n system.ntfs_attrib_be -v 0x00000024 "$D/hidden/system.txt"
# Hard links: once per name. A symbolic link and a junction: shown, not
# entered.
echo t >"$D/links/target/file"
ln "$D/links/target/file" "$D/links/hard one"
ln "$D/links/target/file" "$D/links/hard two"
ln -s target "$D/links/symlink"
# Links that NTFS does not mark as directories: counted as their targets,
# resolved inside the image as the mount resolves them.
ln -s symlink "$D/links/chain"
ln -s ../links/target/ "$D/links/up and back"
ln -s target/file "$D/links/to file"
ln -s nowhere "$D/links/dangling"
ln -s loop "$D/links/loop"
junction=$(python3 -c '
import struct
sub = "\\??\\C:\\Data\\links\\target".encode("utf-16-le")
prn = "C:\\Data\\links\\target".encode("utf-16-le")
body = struct.pack("<HHHH", 0, len(sub), len(sub) + 2, len(prn))
body += sub + b"\0\0" + prn + b"\0\0"
print("0x" + (struct.pack("<IHH", 0xA0000003, len(body), 0) + body).hex())')
setfattr -n system.ntfs_reparse_data -v "$junction" "$D/junction"
# Forty levels.
deep=$D/deep
for i in $(seq 1 40); do deep=$deep/l$i; done
mkdir -p "$deep"
echo bottom >"$deep/bottom.txt"
# Thousands of files sharing one descriptor, and one DACL of 2,000 entries.
(cd "$D/shared" && seq -f 'f%04g' 1 2500 | xargs touch)
shared=$("$MAKE_DESCRIPTOR" control=0x1404 owner=$ADMINS group=$SYSTEM \
  A:0x10:0x1F01FF:$ADMINS A:0x10:0x1200A9:$USERS A:0x00:0x1301BF:$GONE)
big=(control=0x0004 owner=$ADMINS group=$SYSTEM)
for i in $(seq 1 2000); do big+=("A:0x00:0x1200A9:S-1-5-21-1-$i"); done
echo big >"$D/big dacl.txt"
{
  for f in "$D"/shared/*; do
    printf '# file: %s\nsystem.ntfs_acl=%s\n\n' "$f" "$shared"
  done
  printf '# file: %s\nsystem.ntfs_acl=%s\n\n' "$D/big dacl.txt" \
    "$("$MAKE_DESCRIPTOR" "${big[@]}")"
} >"$work/acls"
setfattr --restore="$work/acls"
set_acl "$D" control=0x1004 owner=$ADMINS group=$SYSTEM \
  A:0x03:0x1F01FF:$ADMINS A:0x03:0x120089:$USERS A:0x00:0x1F01FF:$GONE
set_acl "$D/目录" control=0x0404 owner=$SYSTEM group=$SYSTEM \
  A:0x13:0x1F01FF:$ADMINS A:0x1B:0x10000000:$SYSTEM D:0x00:0x1200A9:$EVERYONE

# --- The same run through the mount, then from the unmounted image.
runs=("/readacl /s /f /o" "/readacl /s:3 /o" "/readacl /f")
for i in "${!runs[@]}"; do
  # shellcheck disable=SC2086
  "$VESK" "$M" ${runs[$i]} "/l:$work/mounted$i.log" >"$work/mounted$i" \
    2>"$work/mounted$i.err"
done
"$VESK" "$D/links" /readacl /s /f >"$work/mounted-sub"
# A start path that is a link, or passes through one, stands for its target.
"$VESK" "$D/links/chain" /readacl /s /f >"$work/mounted-link"
"$VESK" "$D/links/up and back/file" /readacl >"$work/mounted-through"
(cd "$M" && "$VESK" Data/hidden /readacl /s /f >"$work/mounted-relative")
ntfs_unmount "$work"
expect_eq "the tree is big" 1 \
  "$([ "$(grep -c '^/' "$work/mounted0")" -gt 2550 ] && echo 1)"
sha_image=$(sha256sum <"$I")

# compare NAME MOUNTED DIRECT-PREFIX ARGS...: the direct run against a
# mounted one.
compare() {
  local name=$1 mounted=$2 prefix=$3
  shift 3
  "$VESK" "$@" >"$work/direct" 2>"$work/direct.err"
  expect_eq "$name: exit" 0 "$?"
  expect_eq "$name: report" "$(with_prefix "$M" "$prefix" <"$mounted")" \
    "$(cat "$work/direct")"
  expect_eq "$name: stderr" "" "$(cat "$work/direct.err")"
}

for i in "${!runs[@]}"; do
  # shellcheck disable=SC2086
  compare "image, ${runs[$i]}" "$work/mounted$i" "$I" "$I" ${runs[$i]} \
    "/l:$work/direct$i.log"
  expect_eq "image, ${runs[$i]}: log" \
    "$(log_body "$work/mounted$i.log" | sed "s|$M|$I|g")" \
    "$(log_body "$work/direct$i.log")"
done
compare "inside the image" "$work/mounted-sub" "$I" "$I/Data/links" \
  /readacl /s /f
out=$(cd "$work" && "$VESK" image/Data/hidden /readacl /s /f)
expect_eq "relative path as typed" \
  "$(with_prefix "Data/hidden" "image/Data/hidden" <"$work/mounted-relative" |
    with_prefix "$M" "$I")" "$out"
expect_eq "links not entered" "" \
  "$(grep -E '^[^	].*/(symlink|junction|chain|up and back)/' "$work/direct")"
compare "start link" "$work/mounted-link" "$I" "$I/Data/links/chain" \
  /readacl /s /f
compare "through a link" "$work/mounted-through" "$I" \
  "$I/Data/links/up and back/file" /readacl

# Any user who can read the file can read the volume.
out=$(setpriv --reuid=65534 --regid=65534 --clear-groups \
  "$VESK" "$I" /readacl /s /f /o 2>&1)
expect_eq "unprivileged user" "$(with_prefix "$M" "$I" <"$work/mounted0")" \
  "$out"

# --- Behind partition tables and inside an E01 file.
mbr_disk "$work/mbr.img" "$I"
extended_disk "$work/extended.img" "$I"
gpt_disk "$work/gpt.img" "$I"
ewfacquirestream -q -c none -S 6MiB -t "$work/evidence" <"$I" \
  >"$work/ewf.log" 2>&1 || fail "ewfacquirestream: $(tail -3 "$work/ewf.log")"
expect_eq "E01 split in segments" 1 \
  "$([ "$(ls "$work"/evidence.E0* | wc -l)" -ge 4 ] && echo 1)"
sums=$(cd "$work" && sha256sum image mbr.img extended.img gpt.img evidence.E*)
# The segments are found beside the first, not beside a link to it.
mkdir "$work/linked"
ln -s ../evidence.E01 "$work/linked/evidence.E01"

for disk in mbr.img mbr.img@1 extended.img extended.img@5 gpt.img gpt.img@2 \
  evidence.E01 linked/evidence.E01; do
  compare "$disk" "$work/mounted0" "$work/$disk" "$work/$disk" \
    /readacl /s /f /o
done
# --- Inside the disks of virtual machines and split images, made by
# qemu-img and split from the volume and from its MBR disk: each read as the
# raw file is, its partitions too.
containers=()
for source in image mbr.img; do
  base=${source%.img}
  while read -r name options; do
    # shellcheck disable=SC2086 # the options are words
    qemu-img convert -q -f raw $options "$work/$source" "$work/$base-$name" ||
      fail "qemu-img $options"
    containers+=("$base-$name")
  done <<'FORMATS'
fixed.vhd -O vpc -o subformat=fixed
dynamic.vhd -O vpc -o subformat=dynamic
fixed.vhdx -O vhdx -o subformat=fixed
dynamic.vhdx -O vhdx -o subformat=dynamic
sparse.vmdk -O vmdk -o subformat=monolithicSparse
split.vmdk -O vmdk -o subformat=twoGbMaxExtentSparse
stream.vmdk -O vmdk -o subformat=streamOptimized
flat.vmdk -O vmdk -o subformat=monolithicFlat
plain.qcow2 -O qcow2
compressed.qcow2 -O qcow2 -c
FORMATS
  split -b 5M -d -a 3 --numeric-suffixes=1 "$work/$source" "$work/$base.split."
  split -b 7M "$work/$source" "$work/$base.pieces."
  split -b 9M -d -a 3 "$work/$source" "$work/$base.raw."
  containers+=("$base.split.001" "$base.pieces.aa" "$base.raw.000")
done
# A chain of backing files: the base lacks the volume's first 8 MiB, which
# the disk made on it holds (written into it, or converted onto it).
head -c 8M "$I" >"$work/first"
cp "$I" "$work/holed"
dd if=/dev/zero of="$work/holed" bs=1M count=8 conv=notrunc status=none
qemu-img convert -q -O qcow2 "$work/holed" "$work/base.qcow2"
qemu-img convert -q -O qcow2 -B base.qcow2 -F qcow2 "$I" "$work/onto.qcow2"
qemu-img create -q -f qcow2 -b base.qcow2 -F qcow2 "$work/written.qcow2"
qemu-io -f qcow2 -c "write -q -s $work/first 0 8M" "$work/written.qcow2" ||
  fail "qemu-io could not write"
qemu-img create -q -f qcow2 -b written.qcow2 -F qcow2 "$work/top.qcow2"
qemu-img create -q -f vmdk -b image-sparse.vmdk -F vmdk "$work/snapshot.vmdk"
containers+=(onto.qcow2 written.qcow2 top.qcow2 snapshot.vmdk)
ln -s ../image.split.001 "$work/linked/image.split.001"
for disk in "${containers[@]}" mbr-dynamic.vhdx@1 mbr-flat.vmdk@1 \
  mbr.split.001@1 linked/image.split.001; do
  compare "$disk" "$work/mounted0" "$work/$disk" "$work/$disk" \
    /readacl /s /f /o
done
compare "inside a container's partition" "$work/mounted-sub" \
  "$work/mbr-plain.qcow2@1" "$work/mbr-plain.qcow2@1/Data/links" /readacl /s /f
compare "inside a partition" "$work/mounted-sub" "$work/gpt.img@2" \
  "$work/gpt.img@2/Data/links" /readacl /s /f
# A file named like a partition is taken as a file.
cp "$I" "$work/named@2"
compare "file named @2" "$work/mounted0" "$work/named@2" "$work/named@2" \
  /readacl /s /f /o

# --- What cannot be read: one log entry each, exit 0, nothing printed.
mkdir "$work/partial"
cp "$work"/evidence.E0* "$work/partial/"
rm "$work/partial/evidence.E02"
# Containers cut short, with their header zeroed past the signature, with
# an extent, a piece or a backing file missing, or backed by themselves.
# damaged NAME FROM BYTES [AT]: a copy of FROM, cut to BYTES or zeroed from AT.
damaged() {
  if [ -n "${4:-}" ]; then
    cp "$work/$2" "$work/partial/$1"
    dd if=/dev/zero of="$work/partial/$1" bs=1 seek="$4" count="$3" \
      conv=notrunc status=none
  else
    head -c "$3" "$work/$2" >"$work/partial/$1"
  fi
}
damaged cut.vhd image-dynamic.vhd 4M
damaged cut.vhdx image-dynamic.vhdx 4M
damaged cut.vmdk image-sparse.vmdk 1M
damaged cut.qcow2 image-plain.qcow2 1M
damaged header.vhd image-dynamic.vhd 1024 512
damaged header.vhdx image-dynamic.vhdx 131072 65536
damaged header.vmdk image-sparse.vmdk 508 4
damaged header.qcow2 image-plain.qcow2 508 4
cp "$work/image-flat.vmdk" "$work/image-split.vmdk" "$work/partial/"
cp "$work/onto.qcow2" "$work/partial/"
cp "$work"/image.split.00[1246] "$work"/image.pieces.a[ab] "$work/partial/"
qemu-img create -q -f qcow2 -u -b self.qcow2 -F qcow2 "$work/partial/s.qcow2" 32M
mv "$work/partial/s.qcow2" "$work/partial/self.qcow2"
qemu-img create -q -f qcow2 -u -b two.qcow2 -F qcow2 "$work/partial/one.qcow2" 32M
qemu-img create -q -f qcow2 -u -b one.qcow2 -F qcow2 "$work/partial/two.qcow2" 32M
qemu-img create -q -f qcow2 -b ../holed -F raw "$work/partial/on-raw.qcow2"
head -c 1000000 "$I" >"$work/truncated.img"
printf 'not a disk image at all' >"$work/notes.txt"
truncate -s 1M "$work/notes.txt"
container_sums=$(cd "$work" && sha256sum image* mbr* ./*.qcow2 ./*.vmdk partial/*)
# path, error, log path
while IFS='|' read -r path error; do
  report "$work/$path" /readacl /s /f "/l:$work/fail.log"
  expect_eq "$path: output" "" "$out"
  expect_eq "$path: exit" 0 "$code"
  # A plain file here: 50, or 1350 where Samba's attribute could be stored.
  [ "$error" = plain ] && error=$(no_descriptor_code "$work")
  expect_eq "$path: log" "GetNamedSecurityInfo () failed for: $work/$path
GetNamedSecurityInfo () error: $error" \
    "$(grep -A1 "GetNamedSecurityInfo () failed for: $work/$path\$" \
      "$work/fail.log" | cut -f2-)"
done <<'CASES'
gpt.img@1|1005
gpt.img@9|15
mbr.img@0/Data|2
image/Data/missing|2
image/Data/empty file/below|3
image/Data/empty file/|3
partial/evidence.E01|1393
partial/cut.vhd|1393
partial/cut.vhdx|1393
partial/cut.vmdk|1393
partial/cut.qcow2|1393
partial/header.vhd|1393
partial/header.vhdx|1393
partial/header.vmdk|1393
partial/header.qcow2|1393
partial/image-flat.vmdk|1393
partial/image-split.vmdk|1393
partial/onto.qcow2|1393
partial/image.split.001|1393
partial/image.pieces.aa|1393
partial/self.qcow2|1393
partial/one.qcow2|1393
partial/on-raw.qcow2|50
truncated.img|1393
notes.txt|plain
notes.txt/below|3
CASES

expect_eq "images unchanged" "$sums" \
  "$(cd "$work" && sha256sum image mbr.img extended.img gpt.img evidence.E*)"
expect_eq "containers unchanged" "$container_sums" \
  "$(cd "$work" && sha256sum image* mbr* ./*.qcow2 ./*.vmdk partial/*)"
expect_eq "image unchanged" "$sha_image" "$(sha256sum <"$I")"
finish
