#!/usr/bin/env bash
# Delivery over STARTTLS with AUTH to the test Postfix (scripts/mailservers.sh),
# one connection per message, next to curl (one `curl --ssl-reqd` per
# message, as a script sends mail with it), interleaved in rounds in the same
# run: ROUNDS x PER_ROUND messages of BYTES bytes each way. Prints each
# round's rates, then each side's median rate and the median of the rounds'
# ratios library / curl.
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
rates=$work/rates
for round in $(seq "$rounds"); do
  start=$(now)
  for _ in $(seq "$per_round"); do
    curl -s --ssl-reqd "smtp://$QUORVEL_TLS_HOST:$QUORVEL_SMTP_PORT" --cacert "$QUORVEL_TLS_CA" \
      --user pupil:pupil --mail-from pupil@example.test --mail-rcpt tutor@example.test \
      --upload-file "$work/message.eml"
  done
  middle=$(now)
  "$build/bench/sending/smtp_delivery_bench" "$QUORVEL_SMTP_PORT" "$per_round" "$bytes" \
    "$QUORVEL_TLS_HOST" pupil pupil "$QUORVEL_TLS_CA" >/dev/null
  end=$(now)
  /usr/bin/python3 -c "print($per_round / ($end - $middle), $per_round / ($middle - $start))" | tee -a "$rates" |
    sed "s/^/round $round: quorvel, curl messages\/s: /"
done
/usr/bin/python3 - "$rates" "$per_round" "$bytes" <<'PY'
import statistics, sys
pairs = [tuple(map(float, line.split())) for line in open(sys.argv[1])]
ours = statistics.median(q for q, _ in pairs)
curl = statistics.median(c for _, c in pairs)
ratio = statistics.median(q / c for q, c in pairs)
print(f"curl --ssl-reqd: {curl:.1f} messages/s (median of {len(pairs)} rounds of {sys.argv[2]} x {sys.argv[3]} bytes)")
print(f"quorvel STARTTLS+AUTH: {ours:.1f} messages/s")
print(f"ratio quorvel / curl: {ratio:.2f} (median of the rounds' ratios)")
PY
