#!/usr/bin/env bash
# The exchange layer's send run (ITEMS queued items of BYTES each, one SMTP
# route each) next to Postfix's own client, smtp-source -s 1 (one connection
# per message), sending messages of the size one item composes to, both to
# the same smtp-sink on loopback, in interleaved rounds; prints the median
# rate of each and their ratio.
# Usage: bench/sending/send-items-bench.sh BUILD_DIR [ROUNDS] [ITEMS] [BYTES]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [ROUNDS] [ITEMS] [BYTES]}
rounds=${2:-5}
items=${3:-200}
bytes=${4:-102400}
bench="$build/bench/sending/send_items_bench"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
composed=$("$bench" "$port" 1 "$bytes" --composed-size)

smtp-sink -u nobody 127.0.0.1:"$port" 256 </dev/null >/dev/null 2>&1 &
sink=$!
results=$(mktemp)
# The messages are composed in a temporary directory of their own: a shared
# one full of other programs' "~AT" n ".eml" files would measure the probing
# of their names.
export TMPDIR=$(mktemp -d)
trap 'kill $sink 2>/dev/null || true; rm -rf "$results" "$TMPDIR"' EXIT
for _ in $(seq 1 500); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.01; done

for round in $(seq 1 "$rounds"); do
  start=$(date +%s.%N)
  smtp-source -s 1 -m "$items" -l "$composed" -f pupil@example.test -t tutor@example.test \
    127.0.0.1:"$port"
  end=$(date +%s.%N)
  echo "source $items $(/usr/bin/python3 -c "print($end - $start)")" >>"$results"
  "$bench" "$port" "$items" "$bytes" >>"$results"
  echo "round $round of $rounds done" >&2
done

/usr/bin/python3 - "$results" "$composed" <<'PY'
import statistics, sys
rates = {}
for line in open(sys.argv[1]):
    name, count, seconds = line.split()[:3]
    rates.setdefault(name, []).append(int(count) / float(seconds))
median = {name: statistics.median(values) for name, values in rates.items()}
print(f"message size:            {sys.argv[2]} bytes")
print(f"smtp-source -s 1:        {median['source']:.1f} messages/s (median of {len(rates['source'])})")
print(f"TessalySendMails run:    {median['send_items']:.1f} messages/s (median of {len(rates['send_items'])})")
print(f"ratio:                   {median['send_items'] / median['source']:.2f}")
PY
