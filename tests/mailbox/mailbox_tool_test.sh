#!/usr/bin/env bash
# quorvel mailbox and quorvel dump on a mailbox index: a fresh mailbox and a
# damaged index dumped (exit 1, the offset named). What an open makes of a
# damaged index is the mailbox tests' concern.
# Usage: mailbox_tool_test.sh QUORVEL_TOOL
set -euo pipefail
tool=$1
base=$(mktemp -d)
trap 'rm -rf "$base"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("$tool" mailbox "$base" anna) || fail "mailbox on a new directory"
[[ $out == *": 0 items, 0 waiting to be sent"* ]] || fail "listing: $out"
index=$base/anna/mailbox/Mailbox.inv
[[ $(stat -c %s "$index") == 23 ]] || fail "the fresh index is not 23 bytes"

out=$("$tool" dump "$index") || fail "dump of a fresh index"
[[ $out == *"next id 1, saved "*", 0 entries, sorted flag 1"* ]] || fail "dump head: $out"
[[ $out == *"outbox queue (0):"* ]] || fail "dump outbox: $out"

head -c 22 "$index" > "$base/cut.inv"
if out=$("$tool" dump "$base/cut.inv"); then fail "a cut index dumped without error"; fi
[[ $out == *"damage at offset 21:"* ]] || fail "damage report: $out"
echo "ok"
