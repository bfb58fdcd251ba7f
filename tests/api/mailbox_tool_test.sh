#!/usr/bin/env bash
# The tool's mailbox commands on one mailbox, as a newcomer uses them: quorvel
# write and reply (what they say, refusals exit 1, bad usage 2), mailbox show,
# extract and remove (escape sequences shown, not obeyed; safe names), dump of
# an item and of an index (a cut one: exit 1, the offset named), and exchange
# with its report. Where items land, what they carry and what a removal takes
# are the mailbox and api tests' concern; the exchange between users the demo's.
# Usage: mailbox_tool_test.sh QUORVEL_TOOL
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
base=$work/base
route="3|$work/shared"
mkdir "$work/shared"

# Outputs are captured before they are searched: grep -q leaving a pipe early
# would fail the writer with SIGPIPE.
contains() {  # TEXT PATTERN
  if ! grep -qF -- "$2" <<<"$1"; then echo "missing \"$2\" in: $1" >&2; exit 1; fi
}
expect_status() {  # STATUS COMMAND...
  local want=$1 got=0
  shift
  "$@" >/dev/null 2>&1 || got=$?
  if [ "$got" -ne "$want" ]; then echo "exit $got, not $want: $*" >&2; exit 1; fi
}

contains "$("$tool" mailbox "$base" anna)" ": 0 items, 0 waiting to be sent"
index=$base/anna/mailbox/Mailbox.inv
contains "$("$tool" dump "$index")" ", 0 entries, sorted flag 1"
head -c 22 "$index" >"$work/cut.inv"
expect_status 1 "$tool" dump "$work/cut.inv"
contains "$("$tool" dump "$work/cut.inv" || true)" "damage at offset 21:"

printf 'Bonjour,\nvoici mon essai.\e]0;title\a\n' >"$work/text.txt"
printf 'essai' >"$work/essai é.txt"
printf 'tab!' >"$work/tab"$'\t'"name.txt"
printf 'esc' >"$work/esc"$'\e'"[2J.txt"
contains "$("$tool" write "$base" anna --route "$route" --text "$work/text.txt" --number 5 \
  --attach "$work/essai é.txt" --attach "$work/tab"$'\t'"name.txt" \
  --attach "$work/esc"$'\e'"[2J.txt")" "new thread"
contains "$("$tool" reply "$base" anna 0 --route "$route" --text "$work/text.txt")" "index 0"
contains "$("$tool" write "$base" anna --route "$route" --answer 1)" "tutor reply at index 1"
"$tool" write "$base" anna --route "2|a|b|25" >/dev/null
expect_status 1 "$tool" write "$base" anna --route "$route" --answer 0  # a pupil mail
expect_status 1 "$tool" write "$base" anna --route "$route" --text "$work/missing"
expect_status 2 "$tool" write "$base" anna --text "$work/text.txt"      # no route
expect_status 2 "$tool" reply "$base" anna --route "$route"             # no index
expect_status 2 "$tool" write "$base" anna --route "$route" --answer x
contains "$("$tool" dump "$base/anna/mailbox/~AT0.qv6")" 'essai é.txt'
contains "$("$tool" dump "$base/anna/mailbox/~AT1.qv6")" '10305 U32 5 '  # --number reached the reply

shown=$("$tool" mailbox "$base" anna show 0)
for line in "id:            1" "parent:        none (thread root)" "kind:          20 pupil mail" \
  "Bonjour," "essai é.txt (5 bytes)" "tab"$'\t'"name.txt (4 bytes)" \
  'voici mon essai.\x1B]0;title\x07' 'esc\x1B[2J.txt (3 bytes)'; do
  contains "$shown" "$line"
done
if grep -q $'[\e\a]' <<<"$shown"; then echo "a control character reached the terminal" >&2; exit 1; fi
shown=$("$tool" mailbox "$base" anna show 2)
contains "$shown" "parent:        index 1, id 2"
contains "$shown" "depth:         2"
"$tool" mailbox "$base" anna extract 0 "$work/out" >/dev/null
"$tool" mailbox "$base" anna extract 0 "$work/out" >/dev/null
[ "$(cat "$work/out/essai é (2).txt")" = essai ]
[ "$(cat "$work/out/tabname.txt")" = 'tab!' ]  # the control character dropped
expect_status 2 "$tool" mailbox "$base" anna show
expect_status 2 "$tool" mailbox "$base" anna show x
expect_status 1 "$tool" mailbox "$base" anna show 9
expect_status 1 "$tool" mailbox "$base" anna remove 9

# The three items routed into the shared directory go; the fourth's route
# leads nowhere. Receiving them is the demo's (quorvel demo).
out=$("$tool" exchange "$base" anna --send)
contains "$out" $'sent: 3\n  pupil mail at 0 (#1), ~AT0.qv6'
contains "$out" $'not sent: 1\n  pupil mail at 3 (#4), ~AT3.qv6'
for bad in "host:25:user" "host:x:u:p" ":110:u:p" "host:0:u:p"; do
  expect_status 2 "$tool" exchange "$base" tutor --pop "$bad"
done
expect_status 0 "$tool" mailbox "$base" anna remove 1  # the reply and its answer
contains "$("$tool" mailbox "$base" anna)" "2 items, 1 waiting to be sent"
expect_status 1 "$tool" mailbox "$base" anna remove "0, x"  # 0 goes, x is no index
echo "mailbox commands: all checks passed"
