#!/usr/bin/env bash
# quorvel write and quorvel reply as a newcomer uses them: two pupil mails, a
# tutor reply to the first and the pupil's answer to that reply, with what
# the tool says of each; refused commands exit 1, bad usage 2. Where the
# items land and what they carry is asserted by the mailbox and api tests.
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
expect_status 1 "$tool" write "$work/base" anna --route "$route" --text "$work/missing"
expect_status 2 "$tool" write "$work/base" anna --text "$work/text.txt"      # no route
expect_status 2 "$tool" reply "$work/base" anna --route "$route"             # no index
expect_status 2 "$tool" write "$work/base" anna --route "$route" --answer x

contains "$("$tool" dump "$mailbox/~AT0.qv6")" 'essai é.txt'
contains "$("$tool" dump "$mailbox/~AT2.qv6")" '10305 U32 5 '  # --number reached the reply
echo "write and reply: all checks passed"
