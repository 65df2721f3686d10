#!/bin/sh
# Times the converter on the benchmark file on one thread
# (VKT2XML_THREADS=1) and on every core it may use, against the same
# converter built with printf per value (on one thread, the yardstick),
# seven runs of each taken in turn, and prints the medians: values per
# second, MB/s of document, the ratios, and the peak resident memory of each
# program against the converter's bound (twice the largest record plus
# 16 MiB per thread). The three documents must be identical.
#
# Usage: bench/run_bench.sh [BUILD_DIR]     (default: build)
# Needs BUILD_DIR/vkt2xml and, in BUILD_DIR/bench, make_bench_file,
# vkt2xml_printf and timed_run. The benchmark file BUILD_DIR/bench.vkt is
# written once and kept; the documents go to BUILD_DIR/bench-out*.xml and are
# removed at the end. The figures are noisy on a machine others use: the
# load average is printed with them.
set -eu

BUILD=${1:-build}
RUNS=7
VALUES=20000000       # 20 records of 1000 x 1000, as make_bench_file writes them
RECORD_BYTES=4000000  # the largest record's values as floats
FILE=$BUILD/bench.vkt
OUT_ONE=$BUILD/bench-out-1.xml
OUT=$BUILD/bench-out.xml
OUT_PRINTF=$BUILD/bench-out-printf.xml
THREADS=$(nproc)
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

: >"$BUILD/bench-times-1.txt"
: >"$BUILD/bench-times.txt"
: >"$BUILD/bench-times-printf.txt"
# Each run starts without its document: emptying the last run's 262 MB
# document is the file system's work, not the converter's.
i=1
while [ $i -le $RUNS ]; do
  rm -f "$OUT_ONE" "$OUT" "$OUT_PRINTF"
  timed env VKT2XML_THREADS=1 "$BUILD/vkt2xml" -vkt "$FILE" -xml "$OUT_ONE" \
    >>"$BUILD/bench-times-1.txt"
  timed env -u VKT2XML_THREADS "$BUILD/vkt2xml" -vkt "$FILE" -xml "$OUT" >>"$BUILD/bench-times.txt"
  timed env VKT2XML_THREADS=1 "$BUILD/bench/vkt2xml_printf" -vkt "$FILE" -xml "$OUT_PRINTF" \
    >>"$BUILD/bench-times-printf.txt"
  i=$((i + 1))
done

if cmp -s "$OUT" "$OUT_PRINTF" && cmp -s "$OUT_ONE" "$OUT_PRINTF"; then same=yes; else same=NO; fi
bytes=$(wc -c <"$OUT")
rm -f "$OUT_ONE" "$OUT" "$OUT_PRINTF"

# Median of column $2 of file $1.
median() { sort -n -k"$2,$2" "$1" | awk -v n=$RUNS -v c="$2" 'NR == int((n + 1) / 2) { print $c }'; }
peak() { sort -n -k2,2 "$1" | tail -n 1 | awk '{ print $2 }'; }

t1=$(median "$BUILD/bench-times-1.txt" 1)
t=$(median "$BUILD/bench-times.txt" 1)
tp=$(median "$BUILD/bench-times-printf.txt" 1)
c1=$(median "$BUILD/bench-times-1.txt" 3)
c=$(median "$BUILD/bench-times.txt" 3)
cp=$(median "$BUILD/bench-times-printf.txt" 3)
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || echo unknown)

echo "machine: $THREADS cores, $cpu, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "benchmark: $VALUES values, document of $bytes bytes, median of $RUNS runs each"
awk -v v=$VALUES -v b="$bytes" -v t1="$t1" -v t="$t" -v tp="$tp" -v n="$THREADS" \
    -v p1="$(peak "$BUILD/bench-times-1.txt")" -v p="$(peak "$BUILD/bench-times.txt")" \
    -v pp="$(peak "$BUILD/bench-times-printf.txt")" -v c1="$c1" -v c="$c" -v cp="$cp" \
    -v rec="$RECORD_BYTES" 'BEGIN {
  printf "vkt2xml, 1 thread:  %7.3f s  %6.1f M values/s  %7.1f MB/s  peak RSS %6.1f MiB\n",
         t1, v / t1 / 1e6, b / t1 / 1e6, p1 / 1024
  printf "vkt2xml, %d threads: %7.3f s  %6.1f M values/s  %7.1f MB/s  peak RSS %6.1f MiB\n",
         n, t, v / t / 1e6, b / t / 1e6, p / 1024
  printf "printf per value:   %7.3f s  %6.1f M values/s  %7.1f MB/s  peak RSS %6.1f MiB\n",
         tp, v / tp / 1e6, b / tp / 1e6, pp / 1024
  printf "threads: %.2f times the 1-thread figure; 1 thread %.2f times the printf loop, %d threads %.2f times\n",
         t1 / t, tp / t1, n, tp / t
  printf "processor time (user + system): 1 thread %.3f s (%.1f M values/s), %d threads %.3f s, printf %.3f s (%.1f M values/s), 1 thread against printf %.2f\n",
         c1, v / c1 / 1e6, n, c, cp, v / cp / 1e6, cp / c1
  bound = (2 * rec + n * 16 * 1048576) / 1048576
  printf "memory: %d threads peak %.1f MiB, bound %.1f MiB (twice the largest record, %.1f MiB, plus 16 MiB per thread): %s\n",
         n, p / 1024, bound, rec / 1048576, p / 1024 <= bound ? "within" : "OVER"
}'
echo "documents identical: $same"
[ "$same" = yes ]
