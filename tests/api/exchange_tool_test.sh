#!/usr/bin/env bash
# quorvel exchange: a pupil mail written with quorvel write leaves by its
# route into a shared directory (one route that leads nowhere is reported as
# not sent), the tutor's run receives it from there, and quorvel mailbox
# shows it unread. Bad --pop values are usage errors.
# Usage: exchange_tool_test.sh QUORVEL_TOOL
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
mkdir "$work/shared"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$tool" write "$work/base" pupil --route "3|$work/shared" >/dev/null
"$tool" write "$work/base" pupil --route "2|a|b|25" >/dev/null
out=$("$tool" exchange "$work/base" pupil --send) || fail "send run: $out"
[[ $out == $'sent: 1\n  pupil mail at 0 (#1), ~AT0.qv6\nnot sent: 1\n  pupil mail at 1 (#2), ~AT1.qv6' ]] ||
  fail "send report: $out"
[ "$(find "$work/shared" -name '*.qv6' | wc -l)" -eq 1 ] || fail "no copy in the shared directory"

out=$("$tool" exchange "$work/base" tutor --receive --from-dir "$work/shared") || fail "receive: $out"
[[ $out == $'received: 1\n  pupil mail at 0 (#1), ~AT0.qv6' ]] || fail "receive report: $out"
[ -z "$(ls "$work/shared")" ] || fail "the received file stayed in the shared directory"
"$tool" reply "$work/base" tutor 0 --route "3|$work/shared" >/dev/null
out=$("$tool" mailbox "$work/base" tutor)
[[ $out == *": 2 items, 1 waiting to be sent"* && $out == *"    0  #1 pupil mail [unread] "* &&
   $out == *"    1    #2 tutor reply [unsent] "* ]] || fail "tutor's mailbox: $out"

for bad in "host:25:user" "host:x:u:p" ":110:u:p" "host:0:u:p"; do
  status=0
  "$tool" exchange "$work/base" tutor --pop "$bad" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "--pop $bad exited $status, not 2"
done
echo "exchange: all checks passed"
