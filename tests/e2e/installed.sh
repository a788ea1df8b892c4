# The installed tree: the program, its manual page and its documents, where
# `cmake --install` puts them, and the terms file beside the installed vesk.
set -u
VESK=$(realpath "$1")
source "$(dirname "$0")/lib/common.sh"
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(dirname "$(dirname "$VESK")")

work=$(mktemp -d)
cfg=$prefix/bin/vesk.cfg
trap 'rm -rf "$work" "$cfg"' EXIT

[ -x "$prefix/bin/vesk" ] || fail "no executable $prefix/bin/vesk"
for doc in README.md copyright; do
  [ -f "$prefix/share/doc/vesk/$doc" ] || fail "no share/doc/vesk/$doc"
done
cmp -s "$source_dir/README.md" "$prefix/share/doc/vesk/README.md" ||
  fail "the installed README differs from the source"
cmp -s "$source_dir/LICENSE" "$prefix/share/doc/vesk/copyright" ||
  fail "the installed copyright is not the LICENSE"

# The manual page: present, rendered without a warning, and naming every
# option, the exit codes and the file the installed program reads.
page=$(ls "$prefix"/share/man/man1/vesk.1* 2>/dev/null | head -1)
if [ -z "$page" ]; then
  fail "no manual page in share/man/man1"
elif ! command -v man >/dev/null || ! command -v groff >/dev/null; then
  skip "manual page not rendered: man or groff missing"
else
  zcat -f "$page" | groff -man -Tutf8 -ww -z 2>"$work/warnings"
  expect_eq "manual page warnings" "" "$(cat "$work/warnings")"
  MANWIDTH=200 man -l "$page" >"$work/page" 2>"$work/err"
  expect_eq "man -l errors" "" "$(cat "$work/err")"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS OUTPUT "DISK IMAGES" \
    "ACCOUNT NAMES FROM THE EVIDENCE" "SAMBA SERVERS" "CONFIGURATION FILE" \
    LOG "EXIT STATUS" EXAMPLES; do
    grep -q "^$section\$" "$work/page" || fail "manual page: no section $section"
  done
  # An option's entry starts its line, alone or in a list such as "/?, /h".
  for option in /readacl /s /s:N /f /o /v /l:logfile /explicit /who:NAME /tsv \
    /names:PATH /grantacl /show /? /h; do
    pattern=$(sed 's/[?.*]/\\&/g' <<<"$option")
    grep -qE -- "^       (/[^ ]*, )*$pattern(,| |\$)" "$work/page" ||
      fail "manual page: option $option not described"
  done
  exits=$(sed -n '/^EXIT STATUS$/,/^[A-Z]/p' "$work/page" |
    grep -Eo '^       [0-9]+ ' | tr -d ' ' | tr '\n' ' ')
  expect_eq "manual page exit codes" "0 1 2 100 " "$exits"
  codes=" $(sed -n '/^LOG$/,/^[A-Z]/p' "$work/page" |
    grep -Eo '^       [0-9]+ ' | tr -d ' ' | tr '\n' ' ')"
  for code in 2 5 15 50 1005 1117 1338 1350 1392 1393; do
    [[ $codes == *" $code "* ]] || fail "manual page: log code $code not described"
  done
  for word in file@N E01 security.NTACL /explicit /tsv; do
    grep -qF -- "$word" "$work/page" || fail "manual page: nothing on $word"
  done
  grep -qF "/usr/local/bin/vesk.cfg" "$work/page" ||
    fail "manual page: the terms file of an installed vesk is not named"
fi

# vesk-diff beside it, with its own manual page, rendered without a warning.
[ -x "$prefix/bin/vesk-diff" ] || fail "no executable $prefix/bin/vesk-diff"
page=$(ls "$prefix"/share/man/man1/vesk-diff.1* 2>/dev/null | head -1)
if [ -z "$page" ]; then
  fail "no manual page of vesk-diff in share/man/man1"
elif command -v groff >/dev/null; then
  zcat -f "$page" | groff -man -Tutf8 -ww -z 2>"$work/warnings"
  expect_eq "vesk-diff manual page warnings" "" "$(cat "$work/warnings")"
fi

# The installed program reads the terms file beside itself.
defaults=$("$VESK" /show)
printf '[Access Mode]\n00=Allow\n' >"$cfg"
expect_eq "terms file beside the installed vesk" \
  "$(sed 's/^A$/Allow/' <<<"$defaults")" "$("$VESK" /show 2>&1)"

finish
