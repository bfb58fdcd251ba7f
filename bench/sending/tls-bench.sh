#!/usr/bin/env bash
# Delivery over STARTTLS with AUTH to the test Postfix (scripts/mailservers.sh),
# one connection per message, next to curl (one `curl --ssl-reqd` per
# message, as a script sends mail with it), interleaved in rounds in the same
# run: ROUNDS x PER_ROUND messages of BYTES bytes each way. Prints each
# side's total rate and the ratio library / curl.
# Usage: bench/sending/tls-bench.sh BUILD_DIR STATE_FILE [ROUNDS] [PER_ROUND] [BYTES]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR STATE_FILE [ROUNDS] [PER_ROUND] [BYTES]}
state=${2:?usage: $0 BUILD_DIR STATE_FILE [ROUNDS] [PER_ROUND] [BYTES]}
rounds=${3:-5}
per_round=${4:-100}
bytes=${5:-10240}
# shellcheck disable=SC1090
. "$state"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# curl's message: headers and text lines, BYTES long.
/usr/bin/python3 - "$work/message.eml" "$bytes" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2])
head = "From: pupil@example.test\r\nTo: tutor@example.test\r\nSubject: benchmark\r\n\r\n"
line = "The quick brown fox jumps over the lazy dog, then again and again.\r\n"
body = (line * (size // len(line) + 1))[: size - len(head) - 2] + "\r\n"
open(path, "w", newline="").write(head + body)
PY

now() { date +%s.%N; }
curl_time=0
quorvel_time=0
for round in $(seq "$rounds"); do
  start=$(now)
  for _ in $(seq "$per_round"); do
    curl -s --ssl-reqd "smtp://$QUORVEL_TLS_HOST:$QUORVEL_SMTP_PORT" --cacert "$QUORVEL_TLS_CA" \
      --user pupil:pupil --mail-from pupil@example.test --mail-rcpt tutor@example.test \
      --upload-file "$work/message.eml"
  done
  end=$(now)
  curl_time=$(/usr/bin/python3 -c "print($curl_time + $end - $start)")
  start=$(now)
  "$build/bench/sending/smtp_delivery_bench" "$QUORVEL_SMTP_PORT" "$per_round" "$bytes" \
    "$QUORVEL_TLS_HOST" pupil pupil "$QUORVEL_TLS_CA" >/dev/null
  end=$(now)
  quorvel_time=$(/usr/bin/python3 -c "print($quorvel_time + $end - $start)")
  echo "round $round done"
done
total=$((rounds * per_round))
/usr/bin/python3 -c "
c = $total / $curl_time
q = $total / $quorvel_time
print(f'curl --ssl-reqd: {$total} messages of $bytes bytes: {c:.1f} messages/s')
print(f'quorvel STARTTLS+AUTH: {$total} messages of $bytes bytes: {q:.1f} messages/s')
print(f'ratio quorvel / curl: {q / c:.2f}')"
