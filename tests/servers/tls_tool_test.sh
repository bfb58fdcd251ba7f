#!/usr/bin/env bash
# quorvel send --tls starttls with AUTH delivers through the run's Postfix and
# quorvel receive --tls implicit fetches it from its Dovecot (POP3S), the
# attachment intact; a certificate for another name is refused unless
# --insecure, which says so; --oauth-token-file logs in by token instead
# (the servers' refusals are the library's tests). "tlstool" and "oauthtool"
# are this test's own mailboxes.
# Usage: tls_tool_test.sh QUORVEL_TOOL STATE_FILE
set -euo pipefail
tool=$1
state=$2
# shellcheck disable=SC1090
. "$state"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf 'tlstool\n' >"$work/password"
head -c 50000 /dev/urandom >"$work/lesson.bin"
send() {  # host, token, extra options...
  local host=$1 token=$2
  shift 2
  "$tool" send --smtp "$host:$QUORVEL_SMTP_PORT" --from "tlstool@$QUORVEL_MAIL_DOMAIN" \
    --to "tlstool@$QUORVEL_MAIL_DOMAIN" --subject "$token" --attach "$work/lesson.bin" \
    --tls starttls --user tlstool --password-file "$work/password" --quiet "$@"
}
wait_for() {  # token: delivery is asynchronous, wait at most 10 s
  for _ in $(seq 1000); do
    grep -lq "$1" "$QUORVEL_MAILDIR_ROOT"/tlstool/new/* 2>/dev/null && return 0
    sleep 0.01
  done
  return 1
}

token="tls-$RANDOM$RANDOM"
send "$QUORVEL_TLS_HOST" "$token" --ca-file "$QUORVEL_TLS_CA"
wait_for "$token"
mkdir "$work/in"
"$tool" receive --pop "$QUORVEL_TLS_HOST:$QUORVEL_POP3S_PORT" --user tlstool \
  --password-file "$work/password" --tls implicit --ca-file "$QUORVEL_TLS_CA" \
  --to "$work/in" >"$work/lines.txt" 2>/dev/null
grep -q "\"$token\"  1 attachment(s)" "$work/lines.txt"
mes=$(grep -l "$token" "$work/in"/*.mes)
cmp "$work/lesson.bin" "${mes%.mes}_1.att"

# The certificate names localhost only: by address it is refused (exit 3)...
status=0
send 127.0.0.1 "refused-$token" --ca-file "$QUORVEL_TLS_CA" 2>"$work/refused.txt" || status=$?
[ "$status" -eq 3 ]
grep -q "SMTP error identifier 15" "$work/refused.txt"
# ...unless verification is off, which the tool says.
insecure="insecure-$token"
send 127.0.0.1 "$insecure" --insecure 2>"$work/insecure.txt"
grep -q -- "--insecure: the server's certificate is not verified" "$work/insecure.txt"
wait_for "$insecure"
"$tool" receive --pop "127.0.0.1:$QUORVEL_POP_PORT" --user tlstool --password tlstool \
  --tls starttls --insecure --to "$work/in" >"$work/again.txt" 2>/dev/null
grep -q "\"$insecure\"" "$work/again.txt"

# OAuth 2: a good token file delivers; an expired one fetches nothing (exit 5).
printf 'token-oauthtool\n' >"$work/token"
printf 'expired-oauthtool\n' >"$work/expired"
"$tool" send --smtp "$QUORVEL_TLS_HOST:$QUORVEL_SMTP_PORT" --from "oauthtool@$QUORVEL_MAIL_DOMAIN" \
  --to "oauthtool@$QUORVEL_MAIL_DOMAIN" --subject "oauth-$token" --tls starttls --user oauthtool \
  --oauth-token-file "$work/token" --ca-file "$QUORVEL_TLS_CA" --quiet
status=0
"$tool" receive --pop "$QUORVEL_TLS_HOST:$QUORVEL_POP3S_PORT" --user oauthtool \
  --oauth-token-file "$work/expired" --tls implicit --ca-file "$QUORVEL_TLS_CA" --to "$work/in" \
  >"$work/expired.txt" 2>&1 || status=$?
[ "$status" -eq 5 ]
grep -q "POP error 17 (the OAuth 2 token was refused)" "$work/expired.txt"
echo "quorvel send and receive over TLS: ok"
