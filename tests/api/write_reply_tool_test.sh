#!/usr/bin/env bash
# quorvel write and quorvel reply as a newcomer uses them: two pupil mails, a
# tutor reply to the first and the pupil's answer to that reply; the stored
# items, read back with quorvel dump, carry the stamps of their threads and
# the reply the pupil mail's number. Refused commands exit 1, bad usage 2.
# Usage: write_reply_tool_test.sh QUORVEL_TOOL
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work

printf 'Bonjour, voici mon essai.\n' >"$work/text.txt"
printf 'essai' >"$work/essai é.txt"
mailbox="$work/base/anna/mailbox"
route="3|$work/shared"

# Outputs are captured before they are searched: grep -q leaving a pipe early
# would fail the writer with SIGPIPE.
contains() {  # TEXT PATTERN
  if ! grep -qF -- "$2" <<<"$1"; then echo "missing \"$2\" in: $1" >&2; exit 1; fi
}
contains "$("$tool" write "$work/base" anna --route "$route" --text "$work/text.txt" \
  --attach "$work/essai é.txt" --number 5)" "new thread"
"$tool" write "$work/base" anna --route "$route" --number 6 >/dev/null
contains "$("$tool" reply "$work/base" anna 0 --route "$route" --text "$work/text.txt")" "index 0"
contains "$("$tool" write "$work/base" anna --route "$route" --answer 1)" "tutor reply at index 1"

expect_status() {  # STATUS COMMAND...
  local want=$1 got=0
  shift
  "$@" >/dev/null 2>&1 || got=$?
  if [ "$got" -ne "$want" ]; then echo "exit $got, not $want: $*" >&2; exit 1; fi
}
expect_status 1 "$tool" write "$work/base" anna --route "$route" --answer 0  # a pupil mail
expect_status 1 "$tool" reply "$work/base" anna 1 --route "$route"           # a tutor reply
expect_status 1 "$tool" reply "$work/base" anna 9 --route "$route"           # no such item
expect_status 1 "$tool" write "$work/base" anna --route "$route" --text "$work/missing"
expect_status 2 "$tool" write "$work/base" anna --text "$work/text.txt"      # no route
expect_status 2 "$tool" reply "$work/base" anna --route "$route"             # no index
expect_status 2 "$tool" write "$work/base" anna --route "$route" --answer x

contains "$("$tool" dump "$mailbox/~AT0.qv6")" 'essai é.txt'
reply=$("$tool" dump "$mailbox/~AT2.qv6")
contains "$reply" '10000 Byte 21'
contains "$reply" '10305 U32 5 '   # the first mail's number
contains "$reply" '10102 U32 1 '   # answers item 1
answer=$("$tool" dump "$mailbox/~AT3.qv6")
contains "$answer" '10000 Byte 20'
contains "$answer" '10102 U32 3 '  # answers the reply, item 3
[ "$(find "$work" -maxdepth 1 -name '~AT*' | wc -l)" -eq 0 ]  # no temporary file left
echo "write and reply: all checks passed"
