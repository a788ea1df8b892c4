# The views of the report on real NTFS descriptors: /explicit, /who: and
# /tsv, on a volume made here and on the volumes Windows made.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"
# The Windows-made sample volumes sit beside the repository, in
# ../shared/ntfs-samples, unless VESK_NTFS_SAMPLES names another folder.
SAMPLES=${VESK_NTFS_SAMPLES:-$(dirname "$0")/../../../shared/ntfs-samples}

work=$(mktemp -d)
loops=()
cleanup() {
  for m in "$work"/sample-*/mnt; do ntfs_unmount "${m%/mnt}"; done
  ntfs_unmount "$work"
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
ntfs_mount "$work"
M=$work/mnt

ADMINS=S-1-5-32-544 USERS=S-1-5-32-545 GUESTS=S-1-5-32-546 SYSTEM=S-1-5-18
GONE=S-1-5-21-1004336348-1177238915-682003330-1105

# --- A tree of every kind of DACL: protected with inherited entries only,
# auto-inherited only, mixed, NULL, empty, and a file of plain entries.
T=$M/T
mkdir -p "$T/protected" "$T/inherited" "$T/mixed" "$T/null" "$T/empty"
touch "$T/plain.txt"
set_acl "$T" control=0x0404 owner=$ADMINS group=$SYSTEM \
  A:0x13:0x1F01FF:$ADMINS A:0x13:0x1200A9:$USERS
set_acl "$T/protected" control=0x1404 owner=$ADMINS group=$SYSTEM \
  A:0x10:0x1F01FF:$SYSTEM D:0x10:0x1200A9:$GUESTS
set_acl "$T/inherited" control=0x0404 owner=$SYSTEM group=$SYSTEM \
  A:0x13:0x1F01FF:$ADMINS A:0x10:0x1200A9:$USERS
set_acl "$T/mixed" control=0x0404 owner=$ADMINS group=$SYSTEM \
  A:0x13:0x1F01FF:$ADMINS A:0x03:0x1301BF:$USERS A:0x10:0:$GONE
set_acl "$T/null" control=0x1004 owner=$ADMINS group=$SYSTEM nulldacl
set_acl "$T/empty" control=0x1004 owner=$ADMINS group=$SYSTEM
set_acl "$T/plain.txt" control=0x0004 owner=$GONE group=$SYSTEM \
  A:0x00:0x00100116:$USERS A:0x00:0:$GUESTS

# block PATH: the block of one object from the plain report of the tree.
"$VESK" "$T" /readacl /s /f /o >"$work/plain"
block() { LC_ALL=C awk -v p="$1" 'BEGIN { RS = "" } $0 ~ "^" p "\t" { printf "%s\n\n", $0 }' "$work/plain"; }

# /explicit: the protected and the mixed DACLs and the plain file, whole.
{ block "$T/mixed"; block "$T/plain.txt"; block "$T/protected"; } >"$work/expected"
"$VESK" "$T" /readacl /s /f /o /explicit "/l:$work/explicit.log" >"$work/out" 2>"$work/err"
code=$?
expect_same "/explicit blocks" "$work/expected" "$work/out"
expect_eq "/explicit exit" 0 "$code"
expect_eq "/explicit stderr" "" "$(cat "$work/err")"
expect_eq "/explicit sample block" "$T/mixed	<inherited>	Owner: Administrators
	Administrators	A	FC	
	$GONE	A	
	Users	A	RWX	CI+OI" "$(block "$T/mixed")"
# The log is that of the whole report: every object keeps its group.
"$VESK" "$T" /readacl /s /f /o "/l:$work/plain.log" >/dev/null
expect_eq "/explicit log" "$(cut -f2- "$work/plain.log")" \
  "$(cut -f2- "$work/explicit.log")"

# --- /who: by name, identifier, letter case; an unnamed identifier; two
# names; nothing; with /explicit; and a name holding "/s".
users="$T	<inherited>	Owner: Administrators
	Users	A	LRD + REA + EXC + RAT + RC	

$T/inherited	<inherited>	Owner: SYSTEM
	Users	A	LRD + REA + EXC + RAT + RC	

$T/mixed	<inherited>	Owner: Administrators
	Users	A	RWX	CI+OI

$T/plain.txt		Owner: $GONE
	Users	A	W + CWD + FAP + WEA + WAT	NP"
who() { "$VESK" "$T" /readacl /s /f /o "$@"; }
expect_eq "/who: name" "$users" "$(who /who:Users)"
expect_eq "/who: identifier" "$users" "$(who /who:$USERS)"
expect_eq "/who: letter case" "$users" "$(who /WHO:uSeRs)"
expect_eq "/who: unnamed" "$T/mixed	<inherited>	Owner: Administrators
	$GONE	A	" "$(who /who:$GONE)"
out=$(who /who:Nobody 2>&1)
code=$?
expect_eq "/who: nothing" "" "$out"
expect_eq "/who: nothing exit" 0 "$code"
expect_eq "/who: two names" "$T/mixed	<inherited>	Owner: Administrators
	Users	A	RWX	CI+OI

$T/plain.txt		Owner: $GONE
	Guests	A	NP
	Users	A	W + CWD + FAP + WEA + WAT	NP

$T/protected	<not inherited>	Owner: Administrators
	Guests	D	LRD + REA + EXC + RAT + RC	" "$(who /who:guests /who:users /explicit)"
# "/s" inside a name walks the tree: the log has the objects below the top.
out=$("$VESK" "$T" /readacl "/who:nobody/sub" "/l:$work/who.log")
expect_eq "/who: holding /s, output" "" "$out"
expect_eq "/who: holding /s, walk" 5 "$(grep -c "successfully for: $T/" "$work/who.log")"

# --- /tsv: seven columns, mask 0 included, and the blocks rebuilt.
"$VESK" "$T" /readacl /s /f /o /tsv >"$work/flat"
expect_eq "/tsv columns" "" "$(awk -F '\t' 'NF != 7' "$work/flat")"
expect_eq "/tsv mask 0" "$T/plain.txt		$GONE	Guests	A		NP" \
  "$(grep "	Guests	A	" "$work/flat")"
flat_to_blocks "Owner:" <"$work/flat" >"$work/rebuilt"
expect_same "/tsv rebuilt" "$work/plain" "$work/rebuilt"
expect_eq "/tsv /who: /explicit" "$T/mixed	<inherited>		Users	A	RWX	CI+OI
$T/plain.txt			Users	A	W + CWD + FAP + WEA + WAT	NP" \
  "$("$VESK" "$T" /readacl /s /f /TSV /who:users /Explicit)"

# --- The volumes Windows made, mounted read-only.
# own_dacl HEX: whether a descriptor's DACL is protected or holds an entry
# without the inherited flag, read from its bytes.
own_dacl() {
  awk -v h="${1#0x}" '
    function nibble(i) { return index(x, substr(h, i + 1, 1)) - 1 }
    function byte(i) { return nibble(2 * i) * 16 + nibble(2 * i + 1) }
    function word(i) { return byte(i) + 256 * byte(i + 1) }
    BEGIN {
      x = "0123456789abcdef"
      if (int(word(2) / 4096) % 2) exit 0
      d = word(16) + 65536 * word(18)
      if (d == 0) exit 1
      n = word(d + 4); a = d + 8
      for (i = 0; i < n; ++i) {
        if (int(byte(a + 1) / 16) % 2 == 0) exit 0
        a += word(a + 2)
      }
      exit 1
    }'
}

for image in "$SAMPLES"/ntfs-lastaccess.raw.gz "$SAMPLES"/ntfs-ptrn.raw.gz; do
  name=$(basename "$image" .raw.gz)
  if [ ! -r "$image" ]; then
    skip "sample volume $image is missing"
    continue
  fi
  S=$work/sample-$name
  mkdir -p "$S/mnt"
  gunzip -c "$image" >"$S/image"
  # The NTFS partition starts at sector 128.
  loop=$(losetup -r -f --show -o 65536 "$S/image") ||
    { fail "$name: no loop device"; continue; }
  loops+=("$loop")
  ntfs-3g -o ro "$loop" "$S/mnt" >/dev/null 2>&1 ||
    { fail "$name: ntfs-3g could not mount it"; continue; }
  R=$S/mnt
  for o in "" /o; do
    "$VESK" "$R" /readacl /s /f $o >"$S/plain"
    "$VESK" "$R" /readacl /s /f $o /tsv >"$S/flat"
    flat_to_blocks "${o:+Owner:}" <"$S/flat" >"$S/rebuilt"
    expect_same "$name $o: /tsv rebuilt" "$S/plain" "$S/rebuilt"
    [ -s "$S/plain" ] || fail "$name $o: nothing reported"
  done
  # /explicit keeps exactly the blocks whose descriptor has a DACL of its own.
  : >"$S/expected"
  while IFS= read -r path; do
    hex=$(getfattr --absolute-names -n system.ntfs_acl -e hex "$path" 2>/dev/null |
      sed -n 's/^system.ntfs_acl=//p')
    if own_dacl "$hex"; then
      LC_ALL=C awk -v p="$path" 'BEGIN { RS = "" }
        substr($0, 1, length(p) + 1) == p "\t" { printf "%s\n\n", $0 }' \
        "$S/plain" >>"$S/expected"
    fi
  done < <(grep -v '^	' "$S/plain" | grep -v '^$' | cut -f1)
  "$VESK" "$R" /readacl /s /f /o /explicit >"$S/explicit"
  expect_same "$name: /explicit" "$S/expected" "$S/explicit"
  # /who: by name and by identifier, one trustee's lines and no other.
  "$VESK" "$R" /readacl /s /f /tsv /who:system >"$S/system"
  expect_eq "$name: /who:system lines" "$(grep -c '^	SYSTEM	' "$S/plain")" \
    "$(wc -l <"$S/system")"
  expect_eq "$name: /who:system trustees" "SYSTEM" "$(cut -f4 "$S/system" | sort -u)"
  expect_eq "$name: /who: by identifier" "$(cat "$S/system")" \
    "$("$VESK" "$R" /readacl /s /f /tsv /who:$SYSTEM)"
  ntfs_unmount "$S"
done

finish
