# Links on Linux: a start through a link, ".." after a link, links and
# junctions inside the tree (reported like directories, never entered), and
# a loop.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"

work=$(mktemp -d)
trap 'cd /; ntfs_unmount "$work"; rm -rf "$work"' EXIT
ntfs_mount "$work"
M=$work/mnt

# mark PATH N: a descriptor whose one trustee, S-1-5-21-5-5-5-N, names PATH
# (the link itself, not its target, with -h).
mark() {
  local follow=""
  if [ "$1" = -h ]; then
    follow=-h
    shift
  fi
  setfattr $follow -n system.ntfs_acl -v "$("$MAKE_DESCRIPTOR" control=0x0004 \
    owner=S-1-5-32-544 group=S-1-5-18 "A:0x00:0x1F01FF:S-1-5-21-5-5-5-$2")" "$1"
}

# owners: "PATH N" for every block of a report on standard input.
owners() {
  awk -F '\t' '$0 == "" { next } $1 != "" { path = $1; next }
    { sub(/^S-1-5-21-5-5-5-/, "", $2); print path " " $2 }'
}

# junction PATH 'X:\target': a directory made an NTFS junction, its reparse
# buffer (IO_REPARSE_TAG_MOUNT_POINT) spelt out in hex.
le16() { printf '%02x%02x' $(($1 & 255)) $(($1 >> 8)); }
utf16() {  # ASCII text as UTF-16LE hex
  local i
  for ((i = 0; i < ${#1}; ++i)); do printf '%02x00' "'${1:i:1}"; done
}
junction() {
  local sub="\\??\\$2" shown=$2 data
  data=$(le16 0)$(le16 $((2 * ${#sub})))$(le16 $((2 * ${#sub} + 2)))
  data+=$(le16 $((2 * ${#shown})))$(utf16 "$sub")0000$(utf16 "$shown")0000
  setfattr -n system.ntfs_reparse_data \
    -v "0x030000a0$(le16 $((${#data} / 2)))0000$data" "$1"
}

S=$M/sy
mkdir -p "$S/A/B/onlyB" "$S/A/B/both" "$S/C/both" "$S/C/onlyC"
mark "$S/A" 1
mark "$S/A/B" 2
mark "$S/A/B/both" 3
mark "$S/A/B/onlyB" 4
mark "$S/C" 5
mark "$S/C/both" 6
mark "$S/C/onlyC" 7
ln -s ../A/B/onlyB "$S/C/lnk"
mark -h "$S/C/lnk" 8

# --- A start through a link is the link's target, slash or not.
ln -s "$S/A/B" "$work/permlink"
for start in "$work/permlink" "$work/permlink/"; do
  out=$("$VESK" "$start" /readacl /s:1 "/l:$work/start.log" | owners)
  expect_eq "start $start" "$start 2
$work/permlink/both 3
$work/permlink/onlyB 4" "$out"
  expect_eq "start $start, nothing failed" "" "$(grep failed "$work/start.log")"
done

# --- ".." stays behind a link and goes elsewhere: every block is read
# through the path it is printed under.
cd "$M"
expect_eq "lnk/.." "sy/C/lnk/.. 2
$S/C/lnk/../both 3
$S/C/lnk/../onlyB 4" "$("$VESK" sy/C/lnk/.. /readacl /s "/l:$work/dots.log" | owners)"
expect_eq "lnk/../.." "sy/C/lnk/../.. 1
$S/C/lnk/../../B 2
$S/C/lnk/../../B/both 3
$S/C/lnk/../../B/onlyB 4" \
  "$("$VESK" sy/C/lnk/../.. /readacl /s "/l:$work/dots2.log" | owners)"
expect_eq "onlyC/.." "sy/C/onlyC/.. 5
$S/C/both 6
$S/C/lnk 8
$S/C/onlyC 7" "$("$VESK" sy/C/onlyC/.. /readacl /s | owners)"
cd /
expect_eq "lnk/.., nothing failed" "" "$(grep -h failed "$work/dots.log" "$work/dots2.log")"

# --- Inside the tree: links and junctions have their own block without /f
# and are not entered; a link to a file is a file.
J=$M/j
mkdir -p "$J/target/inner" "$J/junc" "$J/elsewhere"
mark "$J/target" 11
mark "$J/target/inner" 12
mark "$J/junc" 13
mark "$J/elsewhere" 14
echo x >"$J/target/file"
mark "$J/target/file" 15
ln -s target "$J/dirlink"
mark -h "$J/dirlink" 16
ln -s target/file "$J/filelink"
mark -h "$J/filelink" 17
# ntfs-3g resolves a junction through the drive letter's link below the
# volume's root; one to a drive it does not know leads nowhere.
mkdir -p "$M/.NTFS-3G"
ln -s "$M" "$M/.NTFS-3G/C:"
junction "$J/junc" 'C:\j\target'
junction "$J/elsewhere" 'D:\nowhere'
sleep 2  # the kernel's cached entries (1 s) still call them directories
for j in junc elsewhere; do
  [ -L "$J/$j" ] || fail "ntfs-3g shows $J/$j as no link: not a junction"
done
expect_eq "links without /f" "$J/dirlink 16
$J/elsewhere 14
$J/junc 13
$J/target 11
$J/target/inner 12" "$("$VESK" "$J" /readacl /s | owners | grep -v '^'"$J"' ' | sort)"
expect_eq "links with /f" "$J/dirlink 16
$J/elsewhere 14
$J/filelink 17
$J/junc 13
$J/target 11
$J/target/file 15
$J/target/inner 12" "$("$VESK" "$J" /readacl /s /f | owners | grep -v '^'"$J"' ' | sort)"

# --- A loop through links ends.
L=$M/loop
mkdir -p "$L/sub"
ln -s .. "$L/sub/up"
ln -s "$L" "$L/self"
out=$(timeout 20 "$VESK" "$L" /readacl /s | block_paths | sort)
expect_eq "link loop" "$(printf '%s\n' "$L" "$L/self" "$L/sub" "$L/sub/up" | sort)" "$out"

finish
