#!/usr/bin/env bash
# The shared library defines exactly the functions listed in the expected
# file (one name per line, sorted) and no other dynamic symbol. A Windows DLL
# is read from its PE export table (objdump -p), an ELF library from its
# dynamic symbols.
set -euo pipefail
library=$1
expected=$2
if objdump -f "$library" | grep -q 'file format pei-'; then
  actual=$(objdump -p "$library" |
           sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
           awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | LC_ALL=C sort)
else
  actual=$(nm -D --defined-only "$library" | awk '{print $3}' | LC_ALL=C sort)
fi
if ! diff <(LC_ALL=C sort "$expected") <(echo "$actual"); then
  echo "$(basename "$library") exports differ from $expected (< expected, > actual)" >&2
  exit 1
fi
