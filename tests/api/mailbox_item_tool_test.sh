#!/usr/bin/env bash
# quorvel mailbox ... show / extract / remove on a mailbox made with quorvel
# write and quorvel reply: the shown item, its files extracted under safe
# names, removals, and the exit statuses. The naming rules and what a
# removal takes are asserted by the tool's and the mailbox's own tests.
# Usage: mailbox_item_tool_test.sh QUORVEL_TOOL
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work

base="$work/base"
route="3|$work/shared"
printf 'Bonjour,\nvoici mon essai.\e]0;title\a\n' >"$work/text.txt"
printf 'essai' >"$work/essai é.txt"
printf 'tab!' >"$work/tab"$'\t'"name.txt"
printf 'esc' >"$work/esc"$'\e'"[2J.txt"
"$tool" write "$base" anna --route "$route" --text "$work/text.txt" \
  --attach "$work/essai é.txt" --attach "$work/tab"$'\t'"name.txt" \
  --attach "$work/esc"$'\e'"[2J.txt" >/dev/null
"$tool" reply "$base" anna 0 --route "$route" --text "$work/text.txt" >/dev/null
"$tool" write "$base" anna --route "$route" --answer 1 >/dev/null
"$tool" write "$base" anna --route "$route" >/dev/null

contains() {  # TEXT PATTERN
  if ! grep -qF -- "$2" <<<"$1"; then echo "missing \"$2\" in: $1" >&2; exit 1; fi
}
expect_status() {  # STATUS COMMAND...
  local want=$1 got=0
  shift
  "$@" >/dev/null 2>&1 || got=$?
  if [ "$got" -ne "$want" ]; then echo "exit $got, not $want: $*" >&2; exit 1; fi
}

shown=$("$tool" mailbox "$base" anna show 0)
contains "$shown" "id:            1"
contains "$shown" "parent:        none (thread root)"
contains "$shown" "kind:          20 pupil mail"
contains "$shown" "Bonjour,"
contains "$shown" "essai é.txt (5 bytes)"
contains "$shown" "tab"$'\t'"name.txt (4 bytes)"
contains "$shown" 'voici mon essai.\x1B]0;title\x07'   # escape sequences shown, not obeyed
contains "$shown" 'esc\x1B[2J.txt (3 bytes)'
if grep -q $'[\e\a]' <<<"$shown"; then echo "a control character reached the terminal" >&2; exit 1; fi
shown=$("$tool" mailbox "$base" anna show 2)
contains "$shown" "parent:        index 1, id 2"
contains "$shown" "depth:         2"

out="$work/out"
"$tool" mailbox "$base" anna extract 0 "$out" >/dev/null
"$tool" mailbox "$base" anna extract 0 "$out" >/dev/null
[ "$(cat "$out/essai é (2).txt")" = essai ]
[ "$(cat "$out/tabname.txt")" = 'tab!' ]        # the control character dropped

expect_status 2 "$tool" mailbox "$base" anna show
expect_status 2 "$tool" mailbox "$base" anna show x
expect_status 1 "$tool" mailbox "$base" anna show 9
expect_status 1 "$tool" mailbox "$base" anna remove 9
expect_status 0 "$tool" mailbox "$base" anna remove 1        # the reply and its answer
contains "$("$tool" mailbox "$base" anna)" "2 items, 2 waiting to be sent"
expect_status 1 "$tool" mailbox "$base" anna remove "0, x"   # 0 goes, x is no index
echo "mailbox show, extract and remove: all checks passed"
