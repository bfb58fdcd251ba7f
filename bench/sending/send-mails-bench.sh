#!/usr/bin/env bash
# MailsSendMails' rate on 500 mail-data files of 10 KB next to Postfix's own
# client, smtp-source -s 1 (one connection per message), both to the same
# smtp-sink on loopback, in interleaved rounds; prints the median of each and
# their ratio, and the median cost of a background send next to the same
# send in the foreground.
# Usage: bench/sending/send-mails-bench.sh BUILD_DIR [ROUNDS] [MESSAGES] [BYTES]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [ROUNDS] [MESSAGES] [BYTES]}
rounds=${2:-5}
messages=${3:-500}
bytes=${4:-10240}
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

smtp-sink -u nobody 127.0.0.1:"$port" 256 </dev/null >/dev/null 2>&1 &
sink=$!
results=$(mktemp)
trap 'kill $sink 2>/dev/null || true; rm -f "$results"' EXIT
for _ in $(seq 1 500); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.01; done

for round in $(seq 1 "$rounds"); do
  start=$(date +%s.%N)
  smtp-source -s 1 -m "$messages" -l "$bytes" -f pupil@example.test -t tutor@example.test \
    127.0.0.1:"$port"
  end=$(date +%s.%N)
  echo "source $messages $(/usr/bin/python3 -c "print($end - $start)")" >>"$results"
  "$build/bench/sending/send_mails_bench" "$port" "$messages" "$bytes" >>"$results"
  echo "round $round of $rounds done" >&2
done

/usr/bin/python3 - "$results" <<'PY'
import statistics, sys
rates = {}
for line in open(sys.argv[1]):
    name, count, seconds = line.split()[:3]
    rates.setdefault(name, []).append(int(count) / float(seconds))
median = {name: statistics.median(values) for name, values in rates.items()}
print(f"smtp-source -s 1:        {median['source']:.0f} messages/s (median of {len(rates['source'])})")
print(f"MailsSendMails path:     {median['send_mails']:.0f} messages/s (median of {len(rates['send_mails'])})")
print(f"ratio:                   {median['send_mails'] / median['source']:.2f}")
print(f"foreground single send:  {median['foreground']:.0f} sends/s")
print(f"background single send: {median['background']:.0f} sends/s")
print(f"background / foreground: {median['background'] / median['foreground']:.2f}")
PY
