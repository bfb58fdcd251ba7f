#!/usr/bin/env bash
# quorvel send --mes delivers a mail-data file to the run's Postfix, in the
# foreground and in the background, and files it into the sent or the out
# directory (in the foreground the library files it under a new name; in the
# background the tool moves its files under their own); quorvel dump shows
# the filed record.
# Usage: send_mes_tool_test.sh QUORVEL_TOOL STATE_FILE
set -euo pipefail
tool=$1
state=$2
# shellcheck disable=SC1090
. "$state"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/queue" "$work/out" "$work/sent"

write_mes() {  # name, recipient, token
  printf '#Version : \r\n#CodePage : 1252\r\n#SenderName : Pupil P\r\n#From : pupil@%s\r\n#To : %s\r\n#Copy : \r\n#Subject : %s\r\n#Message : Hello\r\n#BodyType : Text\r\n#Attachments : work.txt\r\n' \
    "$QUORVEL_MAIL_DOMAIN" "$2" "$3" >"$work/queue/$1.mes"
  head -c 300000 /dev/urandom >"$work/queue/$1_1.att"
}
arrived() {  # token: waits up to 10 s for the tutor's copy
  for _ in $(seq 1000); do
    grep -qs "$1" "$QUORVEL_MAILDIR_ROOT"/tutor/new/* "$QUORVEL_MAILDIR_ROOT"/tutor/cur/* && return 0
    sleep 0.01
  done
  return 1
}

front="front-$RANDOM$RANDOM"
write_mes a "tutor@$QUORVEL_MAIL_DOMAIN" "$front"
"$tool" send --mes "$work/queue/a.mes" --smtp "127.0.0.1:$QUORVEL_SMTP_PORT" \
  --out "$work/out" --sent "$work/sent" 2>"$work/front.txt"
grep -qx "sent $work/queue/a.mes" "$work/front.txt"  # no progress off a terminal
arrived "$front"
test -f "$work/sent/~AT0.mes" && test -f "$work/sent/~AT0_1.att" && test ! -e "$work/queue/a.mes"
"$tool" dump "$work/sent/~AT0.mes" | grep -q "subject      \"$front\""

back="back-$RANDOM$RANDOM"
write_mes b "tutor@$QUORVEL_MAIL_DOMAIN" "$back"
"$tool" send --mes "$work/queue/b.mes" --smtp "127.0.0.1:$QUORVEL_SMTP_PORT" \
  --out "$work/out" --sent "$work/sent" --background 2>"$work/back.txt"
arrived "$back"
test -f "$work/sent/b.mes" && test -f "$work/sent/b_1.att" && test ! -e "$work/queue/b.mes"

lost="lost-$RANDOM$RANDOM"
write_mes c "nobody@$QUORVEL_MAIL_DOMAIN" "$lost"
if "$tool" send --mes "$work/queue/c.mes" --smtp "127.0.0.1:$QUORVEL_SMTP_PORT" \
  --out "$work/out" --background 2>"$work/lost.txt"; then
  echo "an unknown recipient was reported as sent" >&2
  exit 1
fi
grep -q "error 7" "$work/lost.txt"
test -f "$work/out/c.mes" && test -f "$work/out/c_1.att" && test ! -e "$work/queue/c.mes"
echo "foreground and background sends filed as expected"
