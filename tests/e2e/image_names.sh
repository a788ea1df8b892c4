# Accounts named from the registry of the Windows installation being read:
# a volume holding the SAM hive that Windows wrote (and a SOFTWARE hive
# with a ProfileList made here) at Windows/System32/config, read as an
# image, as an E01 file, and through /names: from a second image and from
# folders; hives that are missing, cut short or zeroed are one log line
# each. Nothing is ever written to a hive or an image.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"
source "$(dirname "$0")/lib/images.sh"
images_require

EVIDENCE_SAM=$(cd "$(dirname "$0")/../../.." && pwd)/shared/evidence-hives/SAM
[ -n "${VESK_EVIDENCE_HIVES:-}" ] && EVIDENCE_SAM=$VESK_EVIDENCE_HIVES/SAM
if [ ! -r "$EVIDENCE_SAM" ]; then
  echo "FAIL: no SAM hive at $EVIDENCE_SAM (set VESK_EVIDENCE_HIVES)" >&2
  exit 1
fi
# python3-hivex is Debian's: the system's python, whatever else is first
# on the path.
PYTHON=/usr/bin/python3
"$PYTHON" -c 'import hivex' 2>/dev/null ||
  { echo "FAIL: python3-hivex is not installed" >&2; exit 1; }
sam_sum=$(sha256sum <"$EVIDENCE_SAM")

work=$(mktemp -d)
chmod 755 "$work"
trap 'ntfs_unmount "$work/sys"; ntfs_unmount "$work/data"; rm -rf "$work"' EXIT

MACHINE=S-1-5-21-4070822719-3404542230-2541167049
DOMAIN=S-1-5-21-1111-2222-3333
AZURE=S-1-12-1-1-2-3-4

# software OUT SID=PATH...: a SOFTWARE hive whose ProfileList holds these
# profiles, made from a copy of the SAM.
software() {
  cp "$EVIDENCE_SAM" "$work/base.hive"
  chmod u+w "$work/base.hive"
  "$PYTHON" "$(dirname "$0")/lib/software_hive.py" "$work/base.hive" "$1" 0 \
    "${@:2}"
}
# The SAM names MACHINE-1001 itself: its profile folder is not used.
software "$work/SOFTWARE" "$MACHINE-1001=C:\\Users\\gold" \
  "$DOMAIN-1104=C:\\Users\\jdoe" "$AZURE=%SystemDrive%\\Users\\mika" \
  'S-1-5-18=%systemroot%\system32\config\systemprofile' \
  "$DOMAIN-1105.bak=C:\\Users\\old"

# Files whose descriptors name the hives' accounts, groups and aliases.
fill() {
  local D=$1/Data
  mkdir -p "$D/sub"
  echo x >"$D/sub/file.txt"
  set_acl "$D" control=0x1004 owner=$MACHINE-1001 group=$MACHINE-513 \
    A:0x03:0x1F01FF:$MACHINE-500 A:0x00:0x1200A9:$MACHINE-1000 \
    A:0x00:0x1200A9:$MACHINE-513 A:0x00:0x120089:$DOMAIN-1104 \
    A:0x00:0x120089:$AZURE A:0x00:0x120089:$DOMAIN-1105 \
    A:0x00:0x1F01FF:S-1-5-32-544 A:0x00:0x1F01FF:S-1-5-18
  set_acl "$D/sub" control=0x1004 owner=$DOMAIN-1104 group=$MACHINE-513 \
    A:0x03:0x1F01FF:$MACHINE-501 D:0x00:0x10000:$AZURE \
    A:0x00:0x120089:S-1-5-32-545 A:0x00:0x120089:S-1-5-32-582
  set_acl "$D/sub/file.txt" control=0x1004 owner=$AZURE group=$MACHINE-513 \
    A:0x00:0x1F01FF:$DOMAIN-1104
}
set_acl() {
  local path=$1
  shift
  setfattr -n system.ntfs_acl -v "$("$MAKE_DESCRIPTOR" "$@")" "$path"
}

# The system volume: Windows/System32/config in the letter case of older
# Windows versions, the evidence's SAM copied into it.
ntfs_mount "$work/sys"
S=$work/sys/mnt
mkdir -p "$S/WINDOWS/system32/config"
cp "$EVIDENCE_SAM" "$S/WINDOWS/system32/config/SAM"
cp "$work/SOFTWARE" "$S/WINDOWS/system32/config/software"
fill "$S"
ntfs_unmount "$work/sys"
# A data volume with the same files and no Windows.
ntfs_mount "$work/data"
fill "$work/data/mnt"
ntfs_unmount "$work/data"
SYS=$work/sys/image DATA=$work/data/image
mbr_disk "$work/sys-mbr.img" "$SYS"
ewfacquirestream -q -c none -t "$work/sys" <"$SYS" >"$work/ewf.log" 2>&1 ||
  fail "ewfacquirestream: $(tail -3 "$work/ewf.log")"
# Folders on the host: a copy of the Windows folder, and exported hives.
mkdir -p "$work/tree/Windows/System32/config" "$work/exported"
cp "$EVIDENCE_SAM" "$work/tree/Windows/System32/config/SAM"
cp "$work/SOFTWARE" "$work/tree/Windows/System32/config/SOFTWARE"
cp "$EVIDENCE_SAM" "$work/exported/sam"
cp "$work/SOFTWARE" "$work/exported/SOFTWARE"
chmod -R a-w "$work/tree" "$work/exported"
sums=$(cd "$work" && sha256sum sys/image data/image sys-mbr.img sys.E01 \
  SOFTWARE tree/Windows/System32/config/* exported/*)

# The report of Data named from the hives, as P (the path typed) gives it.
named() {
  local P=$1
  printf '%s' "$P/Data	<not inherited>	Owner: gold_administrator
	Administrator	A	FC	CI+OI
	Administrators	A	FC	NP
	jdoe	A	R	NP
	mika	A	R	NP
	None	A	LRD + REA + EXC + RAT + RC	NP
	$DOMAIN-1105	A	R	NP
	SYSTEM	A	FC	NP
	WinRMRemoteWMIUsers__	A	LRD + REA + EXC + RAT + RC	NP

$P/Data/sub	<not inherited>	Owner: jdoe
	Guest	A	FC	CI+OI
	mika	D	SD	NP
	S-1-5-32-582	A	R	NP
	Users	A	R	NP

$P/Data/sub/file.txt	<not inherited>	Owner: mika
	jdoe	A	FC	NP
"
}
report() {
  out=$("$VESK" "$@" 2>"$work/err")
  code=$?
  expect_eq "$*: exit" 0 "$code"
  expect_eq "$*: stderr" "" "$(cat "$work/err")"
}

if [ "${VESK_REGF_BUILT:-0}" != 1 ]; then
  # Built without libregf: SIDs, as before; /names: is one log line.
  report "$SYS/Data" /readacl /s /f /o "/names:$work/tree" "/l:$work/log"
  expect_eq "no libregf: SIDs" 1 \
    "$(grep -c "^	$MACHINE-500	A	FC" <<<"$out")"
  expect_eq "no libregf: /names:" "Account names not read from: $work/tree: 50" \
    "$(grep 'Account names' "$work/log" | cut -f2-)"
  finish
  exit
fi

# --- Read from the image, behind an MBR, from an E01 file, and with the
# hives of a second image or of folders.
while IFS='|' read -r typed names; do
  args=("$work/$typed/Data" /readacl /s /f /o "/l:$work/log")
  [ -n "$names" ] && args+=("/names:$work/$names")
  report "${args[@]}"
  expect_eq "$typed $names: names" "$(named "$work/$typed")" "$out"
  expect_eq "$typed $names: nothing logged" "" \
    "$(grep 'Account names' "$work/log")"
done <<'CASES'
sys/image|
sys-mbr.img@1|
sys.E01|
data/image|sys/image
data/image|sys-mbr.img@1
data/image|sys.E01
data/image|tree
data/image|exported
CASES

# The views find and print the same names.
report "$SYS/Data" /readacl /s /f /o /tsv /who:jdoe /WHO:none
expect_eq "/tsv /who:" "$SYS/Data	<not inherited>	gold_administrator	jdoe	A	R	NP
$SYS/Data	<not inherited>	gold_administrator	None	A	LRD + REA + EXC + RAT + RC	NP
$SYS/Data/sub/file.txt	<not inherited>	mika	jdoe	A	FC	NP" "$out"

# --- With /names:, the volume's own hives are not read; without hives,
# SIDs as before.
plain() { sed "s/^	$2\(	\)/	$3\1/; s/Owner: $2\$/Owner: $3/"; }
report "$DATA/Data" /readacl /s /f /o
expect_eq "data volume alone: SIDs" 1 \
  "$(grep -c "^	$MACHINE-500	A	FC" <<<"$out")"
expect_eq "data volume alone: owner SID" 1 \
  "$(grep -c "Owner: $AZURE\$" <<<"$out")"
mkdir "$work/empty"
report "$SYS/Data" /readacl /o "/names:$work/empty" "/l:$work/log"
expect_eq "/names: turns the volume's hives off" 1 \
  "$(grep -c "Owner: $MACHINE-1001\$" <<<"$out")"

# --- Hives missing, cut short or zeroed: one log line each, and the run
# goes on with the names it has.
mkdir "$work/bad"
cp "$EVIDENCE_SAM" "$work/bad/SAM"
report "$SYS/Data/sub" /readacl /o "/names:$work/bad" "/l:$work/log"
expect_eq "no SOFTWARE: SAM names" "Owner: $DOMAIN-1104" \
  "$(head -1 <<<"$out" | cut -f3)"
expect_eq "no SOFTWARE: Guest" 1 "$(grep -c '^	Guest	' <<<"$out")"
expect_eq "no SOFTWARE: logged" \
  "Account names not read from: $work/bad/SOFTWARE: 2" \
  "$(grep 'Account names' "$work/log" | cut -f2-)"
cp "$work/SOFTWARE" "$work/bad/SOFTWARE"
# A SAM as a German Windows writes it: the well-known names still win over
# the evidence's (Users, not Benutzer), and a built-in alias that the
# well-known table lacks is named from it.
cp "$EVIDENCE_SAM" "$work/german.hive"
chmod u+w "$work/german.hive"
"$PYTHON" - "$work/german.hive" "$work/bad/SAM" <<'PY'
import sys, hivex
h = hivex.Hivex(sys.argv[1], write=True)
node = h.root()
for part in ["SAM", "Domains", "Builtin", "Aliases", "Names"]:
    node = h.node_get_child(node, part)
h.node_delete_child(h.node_get_child(node, "Users"))
for name, rid in [("Benutzer", 545), ("Storage Replica Administrators", 582)]:
    h.node_set_value(h.node_add_child(node, name),
                     {"key": "", "t": rid, "value": b""})
h.commit(sys.argv[2])
PY
report "$SYS/Data/sub" /readacl /o "/names:$work/bad"
expect_eq "German SAM" "$(named "$SYS" | sed -n '/^[^	].*sub	/,/^$/p' |
  sed 's/^	S-1-5-32-582	/	Storage Replica Administrators	/' | sort)" \
  "$(printf '%s\n\n' "$out" | sort)"
while IFS="|" read -r make error; do
  rm -f "$work/bad/SAM"
  eval "$make"
  report "$SYS/Data/sub" /readacl /o "/names:$work/bad" "/l:$work/log"
  expect_eq "$make: ProfileList names" "Owner: jdoe" \
    "$(head -1 <<<"$out" | cut -f3)"
  expect_eq "$make: logged" \
    "Account names not read from: $work/bad/SAM: $error" \
    "$(grep 'Account names' "$work/log" | cut -f2-)"
done <<CASES
true|2
head -c 20000 "$EVIDENCE_SAM" >"$work/bad/SAM"|1009
head -c 30000 "$EVIDENCE_SAM" >"$work/bad/SAM"|1009
truncate -s 256K "$work/bad/SAM"|1017
CASES
report "$SYS/Data" /readacl "/names:$work/nowhere" "/l:$work/log"
expect_eq "/names: missing" "Account names not read from: $work/nowhere: 3" \
  "$(grep 'Account names' "$work/log" | cut -f2-)"
report "$SYS/Data" /readacl "/names:$DATA" "/l:$work/log"
expect_eq "/names: no Windows" \
  "Account names not read from: $DATA/Windows/System32/config: 3" \
  "$(grep 'Account names' "$work/log" | cut -f2-)"
# A system volume whose SOFTWARE hive is zeroed: the SAM still names.
ntfs_mount "$work/zero"
mkdir -p "$work/zero/mnt/Windows/System32/config"
cp "$EVIDENCE_SAM" "$work/zero/mnt/Windows/System32/config/SAM"
truncate -s 64K "$work/zero/mnt/Windows/System32/config/SOFTWARE"
fill "$work/zero/mnt"
ntfs_unmount "$work/zero"
report "$work/zero/image/Data/sub" /readacl /o "/l:$work/log"
expect_eq "zeroed SOFTWARE: SAM names" 1 "$(grep -c '^	Guest	' <<<"$out")"
expect_eq "zeroed SOFTWARE: logged" \
  "Account names not read from: $work/zero/image/Windows/System32/config/SOFTWARE: 1017" \
  "$(grep 'Account names' "$work/log" | cut -f2-)"

expect_eq "hives and images unchanged" "$sums" \
  "$(cd "$work" && sha256sum sys/image data/image sys-mbr.img sys.E01 \
    SOFTWARE tree/Windows/System32/config/* exported/*)"
expect_eq "evidence SAM unchanged" "$sam_sum" "$(sha256sum <"$EVIDENCE_SAM")"
finish
