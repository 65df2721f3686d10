#!/bin/bash
# The crash sweep: a writer run again and again, its Nth write to the file
# made to fail (or the process killed right after it), and after each run
# the file must open, hold every committed record intact and convert with
# no sanitizer report.
#
#   run_crash.sh TOOL SHIM CONVERTER WORKDIR [STRIDE] [WRITERS] [MODES]
#
# STRIDE 1 tries every N; a larger stride tries every STRIDE-th one (the
# last call always included). WRITERS: "append" (the old interface, which
# ends the process with status 1 on a failed write) and/or "safe" (the
# safe interface, which returns an error and closes). With WA_CONFIG in the
# environment the writer runs with the page cache on.
set -u
tool=$1 shim=$2 conv=$3 work=$4
stride=${5:-1}
writers=${6:-"append safe"}
modes=${7:-"enospc eio efbig short kill"}

mkdir -p "$work" && cd "$work" || exit 2
# The writer is the only process preloaded; the shim is not built with the
# sanitizer. The old interface's writer ends through exit(1) with its
# tables still held: no leak report for it.
asan_writer=verify_asan_link_order=0:detect_leaks=0
asan_safe=verify_asan_link_order=0

rm -f base.vkt
if ! "$tool" prepare base.vkt >prepare.out 2>&1; then
  echo "crash sweep: the base file could not be written"; cat prepare.out; exit 2
fi

failures=0
report() {  # one failed run: what it was and what it printed
  failures=$((failures + 1))
  echo "FAIL $1"
  sed -n '1,15p' run.out check.out convert.out 2>/dev/null | sed 's/^/    /'
}

for writer in $writers; do
  opts=$asan_writer
  [ "$writer" = safe ] && opts=$asan_safe
  cp base.vkt crash.vkt && rm -f crash.log count.txt
  ASAN_OPTIONS=$opts LD_PRELOAD=$shim CRASH_FILE=/crash.vkt CRASH_MODE=count \
    CRASH_COUNT=count.txt "$tool" "$writer" crash.vkt crash.log >run.out 2>&1
  status=$?
  total=$(cat count.txt 2>/dev/null || echo 0)
  if [ "$status" -ne 0 ] || [ "$total" -lt 1 ] || ! "$tool" check crash.vkt crash.log >check.out 2>&1; then
    report "$writer: the clean run (status $status, $total write calls)"
    continue
  fi
  echo "crash sweep: $writer writer, $total write calls in a clean run${WA_CONFIG:+, WA_CONFIG=$WA_CONFIG}"
  for mode in $modes; do
    runs=0 bad_before=$failures status1=0 status1_at=""
    n=1
    while [ "$n" -le "$total" ]; do
      cp base.vkt crash.vkt && rm -f crash.log
      # The shell's notice of a killed writer is not printed.
      { (ASAN_OPTIONS=$opts LD_PRELOAD=$shim CRASH_FILE=/crash.vkt CRASH_MODE=$mode CRASH_AT=$n \
        "$tool" "$writer" crash.vkt crash.log) >run.out 2>&1; } 2>/dev/null
      status=$?
      runs=$((runs + 1))
      want=1
      [ "$mode" = kill ] && want=137
      if [ "$status" -ne "$want" ]; then
        report "$writer $mode N=$n: the writer ended with status $status, not $want"
      elif ! "$tool" check crash.vkt crash.log >check.out 2>&1; then
        report "$writer $mode N=$n: the records do not read back"
      else
        "$conv" -vkt crash.vkt -xml crash.xml >convert.out 2>&1
        cstatus=$?
        if grep -q -e "Sanitizer" -e "runtime error" convert.out || [ "$cstatus" -gt 1 ]; then
          report "$writer $mode N=$n: the converter ended with status $cstatus"
        elif [ "$cstatus" -eq 1 ]; then
          status1=$((status1 + 1)) status1_at="$status1_at $n"
        fi
      fi
      if [ "$n" -lt "$total" ] && [ $((n + stride)) -gt "$total" ]; then
        n=$total
      else
        n=$((n + stride))
      fi
    done
    echo "crash sweep: $writer $mode: $runs runs, $((failures - bad_before)) failed," \
      "$status1 converted with status 1${status1_at:+ (N =$status1_at)}"
  done
done
echo "crash sweep: $failures failures"
[ "$failures" -eq 0 ]
