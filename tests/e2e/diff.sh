# vesk-diff on reports of real runs: an NTFS volume reported, changed
# through the mount and reported again; the same tree through the mount and
# straight from its image; blocks against /tsv; a report in Windows form
# against the Linux one.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
DIFF=$(dirname "$VESK")/vesk-diff
source "$(dirname "$0")/lib/common.sh"

work=$(mktemp -d)
cleanup() {
  ntfs_unmount "$work"
  rm -rf "$work"
}
trap cleanup EXIT
ntfs_mount "$work"
D=$work/mnt/Data

ADMINS=S-1-5-32-544 USERS=S-1-5-32-545 GUESTS=S-1-5-32-546 SYSTEM=S-1-5-18
EVERYONE=S-1-1-0
odd=$'tab\tnew\nline\\back'
mkdir -p "$D/Private" "$D/Public/old/deeper" "$D/Odd/$odd"
touch "$D/Private/salaries.xlsx" "$D/Public/readme.txt" "$D/Public/old/a.txt"
set_acl "$D" control=0x1004 owner=$ADMINS group=$SYSTEM \
  A:0x03:0x1F01FF:$ADMINS A:0x03:0x1F01FF:$SYSTEM
set_acl "$D/Private" control=0x1004 owner=$ADMINS group=$SYSTEM \
  A:0x03:0x1F01FF:$ADMINS D:0x03:0x1F01FF:$GUESTS A:0x03:0x1301BF:$USERS
set_acl "$D/Private/salaries.xlsx" control=0x0004 owner=$ADMINS group=$SYSTEM \
  A:0x00:0x1F01FF:$ADMINS A:0x00:0x1200A9:$USERS
set_acl "$D/Public" control=0x0404 owner=$ADMINS group=$SYSTEM \
  A:0x13:0x1F01FF:$ADMINS A:0x03:0x1301BF:$EVERYONE
set_acl "$D/Public/readme.txt" control=0x0404 owner=$ADMINS group=$SYSTEM \
  A:0x10:0x1F01FF:$ADMINS A:0x10:0x1200A9:$EVERYONE
for path in "$D/Public/old" "$D/Public/old/deeper" "$D/Public/old/a.txt" \
  "$D/Odd" "$D/Odd/$odd"; do
  set_acl "$path" control=0x0404 owner=$ADMINS group=$SYSTEM \
    A:0x10:0x1F01FF:$ADMINS
done

# run NAME WANT-RC OLD NEW [ARGS]: sets $out and $err.
run() {
  local name=$1 want=$2
  shift 2
  "$DIFF" "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
  expect_eq "$name: exit code" "$want" "$rc"
}
summary() { echo "vesk-diff: $1 added, $2 removed, $3 changed; $4 added, $5 removed"; }

"$VESK" "$D" /readacl /s /f /o >"$work/before"
"$VESK" "$D" /readacl /s /f /o /tsv >"$work/before.tsv"
grep -qF 'Odd/tab\011new\012line\134back' "$work/before" ||
  fail "the odd name is not in the report"

# --- Blocks against /tsv of the same run, either way round; CRLF and
# standard input read alike.
run "blocks against /tsv" 0 "$work/before" "$work/before.tsv"
expect_eq "blocks against /tsv: no changes" "" "$out"
expect_eq "blocks against /tsv: summary" \
  "$(summary "0 objects" 0 0 "0 entries" 0)" "$err"
sed 's/$/\r/' "$work/before" >"$work/before.crlf"
run "/tsv against CRLF blocks on standard input" 0 "$work/before.tsv" - \
  <"$work/before.crlf"
expect_eq "CRLF: no changes" "" "$out"

# --- A Windows report of the same tree, by the mapping that vesk's output
# follows there: D:\Data for the start path, "\" between names, no escapes
# (names with control bytes or backslashes cannot exist on Windows), CRLF.
"$VESK" "$D/Public" /readacl /s /f /o >"$work/public"
LC_ALL=C awk -v start="$D/Public" '
  /^[^\t]/ { n = index($0, "\t"); path = substr($0, 1, n - 1)
             if (index(path, start) != 1) { print "not below start" > "/dev/stderr"; exit 1 }
             rest = substr(path, length(start) + 1); gsub("/", "\\", rest)
             $0 = "D:\\Data\\Public" rest substr($0, n) }
  { printf "%s\r\n", $0 }' "$work/public" >"$work/public.windows"
grep -q '^D:\\Data\\Public\\old\\deeper	' "$work/public.windows" ||
  fail "the Windows form was not made"
run "Windows form against Linux form" 0 "$work/public.windows" "$work/public"
expect_eq "Windows form: no changes" "" "$out"

# --- The changes, made through the mount.
set_acl "$D/Public" control=0x0404 owner=$ADMINS group=$SYSTEM \
  A:0x13:0x1F01FF:$ADMINS A:0x03:0x1301BF:$EVERYONE D:0x03:0x1F01FF:$GUESTS
set_acl "$D/Private" control=0x1004 owner=$ADMINS group=$SYSTEM \
  A:0x03:0x1F01FF:$ADMINS A:0x03:0x1301BF:$USERS
set_acl "$D/Private/salaries.xlsx" control=0x0004 owner=$ADMINS group=$SYSTEM \
  A:0x00:0x1F01FF:$ADMINS A:0x00:0x1301BF:$USERS
set_acl "$D/Public/readme.txt" control=0x1404 owner=$ADMINS group=$SYSTEM \
  A:0x10:0x1F01FF:$ADMINS A:0x10:0x1200A9:$EVERYONE
set_acl "$D" control=0x1004 owner=$SYSTEM group=$SYSTEM \
  A:0x03:0x1F01FF:$ADMINS A:0x03:0x1F01FF:$SYSTEM
touch "$D/Public/new.txt"
set_acl "$D/Public/new.txt" control=0x0404 owner=$ADMINS group=$SYSTEM \
  A:0x10:0x1F01FF:$ADMINS
rm -r "$D/Public/old"
"$VESK" "$D" /readacl /s /f /o >"$work/after"
"$VESK" "$D" /readacl /s /f /tsv >"$work/after-no-owner.tsv"

run "each change found" 1 "$work/before" "$work/after"
want=$(printf '%s\n' \
  '~	.' \
  '<	<not inherited>	Owner: Administrators' \
  '>	<not inherited>	Owner: SYSTEM' \
  '~	Private' \
  '-		Guests	D	FC	CI+OI' \
  '~	Private/salaries.xlsx' \
  '-		Users	A	LRD + REA + EXC + RAT + RC	NP' \
  '+		Users	A	RWX	NP' \
  '~	Public' \
  '+		Guests	D	FC	CI+OI' \
  '-	Public/old' \
  '-	Public/old/a.txt' \
  '-	Public/old/deeper' \
  '+	Public/new.txt' \
  '~	Public/readme.txt' \
  '<	<inherited>	Owner: Administrators' \
  '>	<not inherited>	Owner: Administrators')
expect_eq "each change found, in the new order" "$want" "$out"
expect_eq "each change counted" \
  "$(summary "1 object" 3 5 "2 entries" 2)" "$err"
run "each change found, as /tsv" 1 "$work/before.tsv" "$work/after" /tsv
expect_eq "/tsv: the same changes" \
  "$(printf '%s\n' '-	header	.	<not inherited>	Administrators				' \
    '+	header	.	<not inherited>	SYSTEM				' \
    '-	entry	Private	<not inherited>	Administrators	Guests	D	FC	CI+OI')" \
  "$(head -3 <<<"$out")"
expect_eq "/tsv: nine columns each" "12" \
  "$(awk -F '\t' 'NF == 9' <<<"$out" | wc -l)"

# --- Owners on one side only: not compared, said once.
run "owners on one side" 1 "$work/before" "$work/after-no-owner.tsv"
expect_eq "owners on one side: the owner's change is not one" \
  "$(sed -n '4,$p' <<<"$want" | sed 's/\tOwner: .*//')" "$out"
expect_eq "owners on one side: said once" 1 \
  "$(grep -c 'owners are not compared' <<<"$err")"

# --- Trouble: a report cut short, an object twice, a missing file.
head -c -1 "$work/after" >"$work/cut"
run "a report cut short" 2 "$work/before" "$work/cut"
last_header=$(grep -n '^[^	]' "$work/after" | tail -1 | cut -d: -f1)
expect_eq "cut short: said" "vesk-diff: $work/cut: line $(wc -l <"$work/after"):\
 the block of line $last_header has no empty line at its end: the report is\
 cut short" "$err"
cat "$work/after" "$work/after" >"$work/twice"
run "an object twice" 2 "$work/twice" "$work/after"
grep -q "^vesk-diff: $work/twice: line $(($(wc -l <"$work/after") + 1)): the object \. is reported twice, first at line 1\$" <<<"$err" ||
  fail "an object twice: $err"
run "a missing report" 2 "$work/before" "$work/missing"

# --- The same tree through the mount and straight from its image.
ntfs_unmount "$work"
if [ "${VESK_IMAGES_BUILT:-0}" != 1 ]; then
  skip "built without libntfs-3g: no report straight from the image"
else
  "$VESK" "$work/image/Data" /readacl /s /f /o >"$work/image-report"
  run "mount against image" 0 "$work/after" "$work/image-report"
  expect_eq "mount against image: no changes" "" "$out"
fi

finish
