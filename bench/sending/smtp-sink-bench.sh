#!/usr/bin/env bash
# Delivery speed next to Postfix's own client, in the same run, to the same
# smtp-sink on loopback: smtp-source -s 1 (one session at a time, one
# connection per message), then the library's send path composing in the
# temporary directory, then composing on tmpfs (/dev/shm), then smtp-source
# again. Each message of the library is composed into a file, sent from it
# and deleted, so the file system shows in its rate.
# Usage: bench/sending/smtp-sink-bench.sh BUILD_DIR [MESSAGES] [BYTES]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [MESSAGES] [BYTES]}
messages=${2:-500}
bytes=${3:-10240}
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

smtp-sink -u nobody 127.0.0.1:"$port" 256 </dev/null >/dev/null 2>&1 &
sink=$!
trap 'kill $sink 2>/dev/null || true' EXIT
for _ in $(seq 1 500); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.01; done

source_rate() {
  local start end
  start=$(date +%s.%N)
  smtp-source -s 1 -m "$messages" -l "$bytes" -f pupil@example.test -t tutor@example.test \
    127.0.0.1:"$port"
  end=$(date +%s.%N)
  /usr/bin/python3 -c "print(f'smtp-source -s 1: $messages messages of $bytes bytes: {$messages / ($end - $start):.0f} messages/s')"
}

source_rate
echo -n "composing in ${TMPDIR:-/tmp}: "
"$build/bench/sending/smtp_delivery_bench" "$port" "$messages" "$bytes"
if [ -d /dev/shm ]; then
  echo -n "composing in /dev/shm: "
  TMPDIR=/dev/shm "$build/bench/sending/smtp_delivery_bench" "$port" "$messages" "$bytes"
fi
source_rate
