#!/usr/bin/env bash
# The shared library exports the public C entries and nothing else: no C++
# (mangled) symbol, and every function that a public header marks ZEP_EXPORT.
# Arguments: the shared library, then the public headers to check.
set -euo pipefail
lib=$1
shift
exported=$(nm -D --defined-only "$lib" | awk 'NF >= 3 { print $3 }' | sort -u)
status=0

cxx=$(printf '%s\n' "$exported" | grep '^_Z' || true)
if [ -n "$cxx" ]; then
  echo "C++ symbols exported by $lib:"
  printf '%s\n' "$cxx" | head -50
  echo "($(printf '%s\n' "$cxx" | wc -l) in all)"
  status=1
fi

# Names of the declarations marked ZEP_EXPORT: the word before the first "(".
declared=$(sed -n 's/^ZEP_EXPORT[^(]*[ *]\([A-Za-z_][A-Za-z0-9_]*\)(.*/\1/p' "$@" | sort -u)
missing=$(comm -23 <(printf '%s\n' "$declared") <(printf '%s\n' "$exported"))
if [ -n "$missing" ]; then
  echo "declared ZEP_EXPORT but not exported by $lib:"
  printf '%s\n' "$missing"
  status=1
fi

if [ $status -eq 0 ]; then
  echo "exported symbols: $(printf '%s\n' "$exported" | wc -l) C entries, $(printf '%s\n' "$declared" | wc -l) declared, no C++ symbol"
fi
exit $status
