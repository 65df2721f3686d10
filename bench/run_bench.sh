#!/bin/sh
# Times the converter on the benchmark file against the same converter built
# with printf per value, five runs of each taken in turn, and prints the
# medians: values per second, MB/s of document, the ratio, and the peak
# resident memory of each program.
#
# Usage: bench/run_bench.sh [BUILD_DIR]     (default: build)
# Needs BUILD_DIR/vkt2xml and, in BUILD_DIR/bench, make_bench_file,
# vkt2xml_printf and timed_run. The benchmark file BUILD_DIR/bench.vkt is
# written once and kept; the documents go to BUILD_DIR/bench-out*.xml and are
# removed at the end.
set -eu

BUILD=${1:-build}
RUNS=5
VALUES=20000000 # 20 records of 1000 x 1000, as make_bench_file writes them
FILE=$BUILD/bench.vkt
OUT=$BUILD/bench-out.xml
OUT_PRINTF=$BUILD/bench-out-printf.xml
TIMED=$BUILD/bench/timed_run

for prog in "$BUILD/vkt2xml" "$BUILD/bench/vkt2xml_printf" "$BUILD/bench/make_bench_file" "$TIMED"; do
  if [ ! -x "$prog" ]; then
    echo "run_bench: $prog is missing (build the bench targets first)" >&2
    exit 1
  fi
done

if [ ! -f "$FILE" ]; then
  echo "Writing the benchmark file $FILE (20 x 1000 x 1000 values, datyp 1, 16 bits)"
  "$BUILD/bench/make_bench_file" "$FILE.tmp"
  mv "$FILE.tmp" "$FILE"
fi

# One timed run: prints "seconds peak_kib cpu_seconds" and fails on a
# non-zero exit.
timed() {
  result=$("$TIMED" "$@")
  # shellcheck disable=SC2086 # the four figures become $1..$4
  set -- $result
  if [ "$3" != 0 ]; then
    echo "run_bench: the run ended with status $3" >&2
    exit 1
  fi
  echo "$1 $2 $4"
}

: >"$BUILD/bench-times.txt"
: >"$BUILD/bench-times-printf.txt"
i=1
while [ $i -le $RUNS ]; do
  timed "$BUILD/vkt2xml" -vkt "$FILE" -xml "$OUT" >>"$BUILD/bench-times.txt"
  timed "$BUILD/bench/vkt2xml_printf" -vkt "$FILE" -xml "$OUT_PRINTF" >>"$BUILD/bench-times-printf.txt"
  i=$((i + 1))
done

if cmp -s "$OUT" "$OUT_PRINTF"; then same=yes; else same=NO; fi
bytes=$(wc -c <"$OUT")
rm -f "$OUT" "$OUT_PRINTF"

# Median of column $2 of file $1.
median() { sort -n -k"$2,$2" "$1" | awk -v n=$RUNS -v c="$2" 'NR == int((n + 1) / 2) { print $c }'; }
peak() { sort -n -k2,2 "$1" | tail -n 1 | awk '{ print $2 }'; }

t=$(median "$BUILD/bench-times.txt" 1)
tp=$(median "$BUILD/bench-times-printf.txt" 1)
c=$(median "$BUILD/bench-times.txt" 3)
cp=$(median "$BUILD/bench-times-printf.txt" 3)
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || echo unknown)

echo "machine: $(nproc) cores, $cpu, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "benchmark: $VALUES values, document of $bytes bytes, median of $RUNS runs each"
awk -v v=$VALUES -v b="$bytes" -v t="$t" -v tp="$tp" -v p="$(peak "$BUILD/bench-times.txt")" \
    -v pp="$(peak "$BUILD/bench-times-printf.txt")" -v c="$c" -v cp="$cp" 'BEGIN {
  printf "vkt2xml:         %7.3f s  %6.1f M values/s  %7.1f MB/s  peak RSS %6.1f MiB\n",
         t, v / t / 1e6, b / t / 1e6, p / 1024
  printf "printf per value: %6.3f s  %6.1f M values/s  %7.1f MB/s  peak RSS %6.1f MiB\n",
         tp, v / tp / 1e6, b / tp / 1e6, pp / 1024
  printf "ratio: %.2f times the printf loop\n", tp / t
  printf "processor time (user + system): vkt2xml %.3f s (%.1f M values/s), printf %.3f s (%.1f M values/s), ratio %.2f\n",
         c, v / c / 1e6, cp, v / cp / 1e6, cp / c
}'
echo "documents identical: $same"
[ "$same" = yes ]
