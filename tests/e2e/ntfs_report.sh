# Reports of real NTFS descriptors: blocks byte for byte, the depth of the
# walk, relative paths, the log, and objects without a descriptor.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"

work=$(mktemp -d)
trap 'ntfs_unmount "$work"; rm -rf "$work"' EXIT
ntfs_mount "$work"
M=$work/mnt

ADMINS=S-1-5-32-544 USERS=S-1-5-32-545 GUESTS=S-1-5-32-546 SYSTEM=S-1-5-18
GONE=S-1-5-21-1004336348-1177238915-682003330-1105

# --- Blocks for descriptors that exercise flags, owner and entry formats.
mkdir -p "$M/Data/inherit" "$M/Data/empty" "$M/Data/null" "$M/Data/defaulted"
touch "$M/Data/file.txt"
set_acl "$M/Data" control=0x1004 owner=$ADMINS group=$SYSTEM \
  A:0x03:0x1F01FF:$ADMINS A:0x03:0x120089:$USERS D:0x00:0x1200A9:$GUESTS \
  A:0x00:0x1F01FF:$GONE
set_acl "$M/Data/inherit" control=0x0404 owner=$SYSTEM group=$SYSTEM \
  A:0x13:0x1F01FF:$ADMINS A:0x1B:0x10000000:$SYSTEM A:0x04:0x1301BF:$USERS
set_acl "$M/Data/empty" control=0x0004 owner=$ADMINS group=$SYSTEM
set_acl "$M/Data/null" control=0x0004 owner=$ADMINS group=$SYSTEM nulldacl
set_acl "$M/Data/defaulted" control=0x000F owner=$ADMINS group=$SYSTEM \
  A:0x0B:0x1F01FF:S-1-3-0
set_acl "$M/Data/file.txt" control=0x0004 owner=$GONE group=$SYSTEM \
  A:0x00:0x00100116:$USERS T5:0x00:0x1200A0:$USERS

expected="$M/Data	<not inherited>	Owner: Administrators
	Administrators	A	FC	CI+OI
	Guests	D	LRD + REA + EXC + RAT + RC	NP
	$GONE	A	FC	NP
	Users	A	R	CI+OI

$M/Data/defaulted	 SE_DACL_DEFAULTED SE_GROUP_DEFAULTED SE_OWNER_DEFAULTED	Owner: Administrators
	CREATOR OWNER	A	FC	IO+CI+OI

$M/Data/file.txt		Owner: $GONE
	Users	A	RX	NP
	Users	A	W + CWD + FAP + WEA + WAT	NP

$M/Data/inherit	<inherited>	Owner: SYSTEM
	Administrators	A	FC	
	SYSTEM	A	GA	
	Users	A	RWX	NP + TC"
out=$("$VESK" "$M/Data" /readacl /s /o /f "/l:$work/log" 2>"$work/err")
code=$?
expect_eq "blocks" "$expected" "$out"
expect_eq "blocks exit" 0 "$code"
expect_eq "blocks stderr" "" "$(cat "$work/err")"

# Without /o there is no owner column.
out=$("$VESK" "$M/Data/inherit" /readacl)
expect_eq "no owner column" "$M/Data/inherit	<inherited>
	Administrators	A	FC	
	SYSTEM	A	GA	
	Users	A	RWX	NP + TC" "$out"

# The log: one group per object, every line stamped.
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}	'
expect_eq "log header" "Logfile created by VESK:" "$(head -1 "$work/log")"
expect_eq "log groups" 6 "$(grep -c '^$' "$work/log")"
expect_eq "unstamped log lines" "" \
  "$(tail -n +2 "$work/log" | grep -v '^$' | grep -Ev "^$stamp")"
expect_eq "empty DACL logged" 1 \
  "$(grep -c "successfully for: $M/Data/empty\$" "$work/log")"
expect_eq "read counts" "0 0 1 2 3 4 " \
  "$(grep -Eo 'read [0-9]+' "$work/log" | cut -d' ' -f2 | sort | tr '\n' ' ')"

# --- The depth of the walk on a tree three levels deep, a file in each.
T=$M/T
mkdir -p "$T/d1/d2/d3"
touch "$T/f0" "$T/d1/f1" "$T/d1/d2/f2" "$T/d1/d2/d3/f3"
for p in "$T" "$T/d1" "$T/d1/d2" "$T/d1/d2/d3" "$T/f0" "$T/d1/f1" \
  "$T/d1/d2/f2" "$T/d1/d2/d3/f3"; do
  set_acl "$p" control=0x0004 owner=$ADMINS group=$SYSTEM A:0:1:$USERS
done

headers() {  # the paths of the printed blocks, relative to $T
  "$VESK" "$T" /readacl "$@" | grep -v '^	' | grep -v '^$' | cut -f1 |
    sed "s|^$T|.|" | tr '\n' ' '
}
expect_eq "/s" ". ./d1 ./d1/d2 ./d1/d2/d3 " "$(headers /s)"
expect_eq "/s:0" ". ./d1 ./d1/d2 ./d1/d2/d3 " "$(headers /s:0)"
expect_eq "/s:-2" ". ./d1 ./d1/d2 ./d1/d2/d3 " "$(headers /s:-2)"
# Beyond int the number is what the C library's sscanf makes of it: here
# the long value cut to int, -1, so no limit.
expect_eq "/s:2^64+1" ". ./d1 ./d1/d2 ./d1/d2/d3 " \
  "$(headers /s:18446744073709551617)"
expect_eq "/s:1" ". ./d1 " "$(headers /s:1)"
expect_eq "/s:2" ". ./d1 ./d1/d2 " "$(headers /s:2)"
expect_eq "/f" ". ./d1 ./f0 " "$(headers /f)"
expect_eq "/f /s:2" ". ./d1 ./d1/d2 ./d1/f1 ./f0 " "$(headers /f /s:2)"
expect_eq "/s /f" \
  ". ./d1 ./d1/d2 ./d1/d2/d3 ./d1/d2/d3/f3 ./d1/d2/f2 ./d1/f1 ./f0 " \
  "$(headers /s /f)"
expect_eq "no walk" ". " "$(headers /o)"

# A relative starting path is printed as typed; below it, absolute paths.
out=$(cd "$M" && "$VESK" T /readacl /s:1 | grep -v '^	' | grep -v '^$' | cut -f1 |
  tr '\n' ' ')
expect_eq "relative start" "T $T/d1 " "$out"

# --- An object without an NTFS descriptor is logged and skipped. On a file
# system where Samba would keep its attribute, the code says that none is
# stored there.
touch "$work/plain"
no_descriptor=$(no_descriptor_code "$work")
out=$("$VESK" "$work/plain" /readacl "/l:$work/plain.log" 2>&1)
code=$?
expect_eq "plain file output" "" "$out"
expect_eq "plain file exit" 0 "$code"
expect_eq "plain file log" "GetNamedSecurityInfo () failed for: $work/plain
GetNamedSecurityInfo () error: $no_descriptor" "$(tail -n 2 "$work/plain.log" | cut -f2-)"

# --- A report that cannot be written ends with exit code 1.
"$VESK" "$M/Data" /readacl /s >/dev/full 2>"$work/err"
code=$?
expect_eq "full disk exit" 1 "$code"
expect_eq "full disk message" "vesk: error writing standard output" \
  "$(cat "$work/err")"

finish
