#!/usr/bin/env bash
# The shared library defines exactly the functions listed in the expected
# file (one name per line, sorted) and no other dynamic symbol.
set -euo pipefail
library=$1
expected=$2
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | LC_ALL=C sort)
if ! diff <(LC_ALL=C sort "$expected") <(echo "$actual"); then
  echo "libquorvel exports differ from $expected (< expected, > actual)" >&2
  exit 1
fi
