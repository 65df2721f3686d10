#!/usr/bin/env bash
# The README's "Calling the library" program: the README quotes
# examples/read_records.c verbatim, the program builds against the public
# headers and the library, and on the bundled sample it prints, for every
# record, the name, datyp, count, first and last value that the converter's
# document shows.
# Then the filter section: the example's stated count is what the converter
# gives on the test file, with and without its third line, and each verb's
# example is a valid directive (the manual page states the same count).
# Arguments: build dir, source dir, converter, extra compile/link flags,
# golden files' folder.
set -euo pipefail
build=$1 src=$2 converter=$3 extra=${4:-} golden=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The block of C after the section's heading, as the README shows it.
awk '/^## Calling the library/ {in_section = 1}
     in_section && /^```c$/ {in_block = 1; next}
     in_block && /^```$/ {exit}
     in_block {print}' "$src/README.md" > "$work/readme.c"
if ! cmp -s "$work/readme.c" "$src/examples/read_records.c"; then
  echo "README.md does not quote examples/read_records.c verbatim:"
  diff "$work/readme.c" "$src/examples/read_records.c" || true
  exit 1
fi

cc -std=c99 -Wall -Werror -o "$work/read_records" "$work/readme.c" -I"$src/include" \
   "$build/libzep.a" -lstdc++ -lm $extra
"$work/read_records" "$build/sample.vkt" | awk '{$1 = $1; print}' > "$work/snippet.txt"

# The same from the document: name, datyp, ni*nj*nk, first and last value.
"$converter" -vkt "$build/sample.vkt" -xml "$work/doc.xml" > /dev/null
awk '/<nomvar>/ {sub(/.*<nomvar>/, ""); sub(/<\/nomvar>.*/, ""); gsub(/ /, ""); name = $0}
     /<datyp>/ {gsub(/[^0-9]/, ""); datyp = $0}
     /<ni>/ {gsub(/[^0-9]/, ""); ni = $0}
     /<nj>/ {gsub(/[^0-9]/, ""); nj = $0}
     /<nk>/ {gsub(/[^0-9]/, ""); nk = $0}
     /<values>/ {in_values = 1; text = ""}
     in_values {line = $0; sub(/.*<values>/, "", line); sub(/<\/values>.*/, "", line);
                text = text " " line}
     /<\/values>/ {in_values = 0; n = split(text, v, " ");
                   print name, datyp, ni * nj * nk, v[1], v[n]}' "$work/doc.xml" > "$work/document.txt"
if ! diff "$work/snippet.txt" "$work/document.txt"; then
  echo "the README program and the document disagree"
  exit 1
fi
kinds=$(awk '{print $2}' "$work/snippet.txt" | sort -u | tr '\n' ' ')
echo "README program: $(wc -l < "$work/snippet.txt") records of datyp $kinds agree with the document"

many=$golden/many_records.vkt
if [ -n "$golden" ] && [ -r "$many" ]; then
  # The n-th block of ``` fences after the line matching $1.
  block() {
    awk -v start="$1" -v want="$2" 'index($0, start) == 1 {f = 1}
      f && /^```/ {n++; next} f && n == 2 * want - 1 {print} f && n >= 2 * want {exit}' "$src/README.md"
  }
  records_with() {  # filter file -> records converted; the exit status in $work/rc
    set +e
    VKT_FILTER_FILE=$1 "$converter" -vkt "$many" -xml "$work/f.xml" >/dev/null 2>"$work/f.err"
    echo $? > "$work/rc"
    set -e
    grep -c '<vktrecord>' "$work/f.xml" || true
  }
  block '### Narrowing the records' 1 > "$work/example.txt"
  [ "$(wc -l < "$work/example.txt")" -eq 4 ] || { echo "filter example not found"; exit 1; }
  n=$(records_with "$work/example.txt")
  grep -q "only $n of its 300 records" "$src/README.md" ||
    { echo "README: the filter example lets $n records through"; exit 1; }
  grep -q "only $n of its 300 records" "$src/docs/vkt2xml.1" ||
    { echo "manual page: the filter example lets $n records through"; exit 1; }
  sed 3d "$work/example.txt" > "$work/without3.txt"
  [ "$(records_with "$work/without3.txt")" -eq "$n" ] || { echo "the third line changes the result"; exit 1; }
  block 'Every verb, with an example' 1 > "$work/verbs.txt"
  for verb in nomvar typvar etiquette ip1 ip2 ip3 date; do
    grep -q "^$verb(" "$work/verbs.txt" || { echo "no example of $verb"; exit 1; }
  done
  records_with "$work/verbs.txt" >/dev/null
  [ "$(cat "$work/rc")" -eq 0 ] && ! grep -q "directive failed" "$work/f.err" ||
    { echo "a verb example fails:"; cat "$work/f.err"; exit 1; }
  echo 'NOMVAR(0, 1, [TT])' > "$work/upper.txt"
  [ "$(records_with "$work/upper.txt")" -eq 300 ] && grep -q "Command NOMVAR NOT FOUND" "$work/f.err" ||
    { echo "an upper-case verb was taken"; exit 1; }
  echo 'nomvar(0, 1, [tt])' > "$work/lower.txt"
  [ "$(records_with "$work/lower.txt")" -eq 0 ] || { echo "a lower-case value matched"; exit 1; }
  echo "README filter: the example passes $n records, every verb's example is valid"
fi
