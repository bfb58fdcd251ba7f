#!/usr/bin/env bash
# quorvel receive fetches from the run's Dovecot what quorvel send sent through
# its Postfix: the mail-data file names the sender and subject, the
# attachment files hold the bytes sent, and a second receive finds nothing
# and says so.
# "fetcher" is this test's own mailbox.
# Usage: receive_tool_test.sh QUORVEL_TOOL STATE_FILE
set -euo pipefail
tool=$1
state=$2
# shellcheck disable=SC1090
. "$state"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

token="fetch-$RANDOM$RANDOM"
printf 'Hello\r\n.dotted\r\n' >"$work/body.txt"
head -c 100000 /dev/urandom >"$work/lesson.bin"
"$tool" send --smtp "127.0.0.1:$QUORVEL_SMTP_PORT" --from "pupil@$QUORVEL_MAIL_DOMAIN" \
  --to "fetcher@$QUORVEL_MAIL_DOMAIN" --subject "$token" --body-file "$work/body.txt" \
  --attach "$work/lesson.bin" 2>/dev/null
# Delivery is asynchronous: wait (at most 60 s) for the file to appear.
for _ in $(seq 6000); do
  grep -lq "$token" "$QUORVEL_MAILDIR_ROOT"/fetcher/new/* 2>/dev/null && break
  sleep 0.01
done
mkdir "$work/in"
"$tool" receive --pop "127.0.0.1:$QUORVEL_POP_PORT" --user fetcher --password fetcher \
  --to "$work/in" >"$work/lines.txt" 2>/dev/null
grep -q "\"$token\"  1 attachment(s)" "$work/lines.txt"
mes=$(grep -l "$token" "$work/in"/*.mes)
grep -q "^#From : pupil@$QUORVEL_MAIL_DOMAIN" "$mes"
grep -q "^#Attachments : lesson.bin" "$mes"
cmp "$work/lesson.bin" "${mes%.mes}_1.att"
"$tool" receive --pop "127.0.0.1:$QUORVEL_POP_PORT" --user fetcher --password fetcher \
  --to "$work/in" >"$work/again.txt" 2>/dev/null
[ "$(cat "$work/again.txt")" = "no mail waiting" ]
echo "quorvel receive: ok"
