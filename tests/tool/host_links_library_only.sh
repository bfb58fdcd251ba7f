#!/usr/bin/env bash
# The tool's host program links the shared library and defines no function of a room above
# the platform; quorvel-core (linking the core) shows the comparison sees the core.
# Usage: HOST CORE_PROGRAM ROOM_ARCHIVE...
set -euo pipefail
host=$1 core=$2
shift 2
fail() { echo "FAIL: $*" >&2; exit 1; }

# The archives' global symbols; in a program built with hidden visibility
# the same symbols are local, so there every defined one counts.
symbols() {  # TYPES FILE...
  local types=$1
  shift
  nm --defined-only "$@" 2>/dev/null | awk -v types="$types" 'NF == 3 && $2 ~ types { print $3 }' |
    sort -u
}
rooms=$(mktemp)
trap 'rm -f "$rooms"' EXIT
symbols '^[TDBR]$' "$@" >"$rooms"
[ -s "$rooms" ] || fail "no symbols in the room archives"

needs() { readelf -d "$1" | grep -q 'NEEDED.*\[libquorvel\.so'; }
needs "$host" || fail "quorvel does not need libquorvel.so"
if needs "$core"; then fail "quorvel-core needs libquorvel.so"; fi

shared=$(symbols '^[TtDdBbRr]$' "$host" | comm -12 - "$rooms")
[ -z "$shared" ] || fail "quorvel defines core symbols: $(echo "$shared" | c++filt | head -5)"
# Read whole before searching: grep -q would end the pipe early (pipefail).
core_shared=$(symbols '^[TtDdBbRr]$' "$core" | comm -12 - "$rooms" | c++filt)
grep -qF 'quorvel::Contexts()' <<<"$core_shared" ||
  fail "quorvel-core shows no context table: the comparison cannot see the core"
echo "quorvel links libquorvel.so only; quorvel-core holds the core"
