#!/usr/bin/env bash
# Rule files of 100,000 rules against their yardsticks: builds a Release tree,
# makes the file, times `vtrpro-rules verify` and `show` (whole process, peak
# memory) beside `xmllint --noout --stream` on the same file, runs the read,
# write and open benchmarks beside a bare parse of the same file, and prints
# each ratio beside its goal. Every measurement runs ROUNDS times (default 3),
# the ones compared side by side in the same round, after an untimed warm-up;
# the best (fastest) round counts, which keeps page faults and other programs'
# bursts out of the ratios.
#
#   scripts/bench.sh                  the Release tree build/ of run.sh, 3 rounds
#   ROUNDS=5 BUILD=build-rel scripts/bench.sh
#   BIN=/some/bin scripts/bench.sh    programs built elsewhere (an older build, say), not rebuilt
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-build}
ROUNDS=${ROUNDS:-3}

./scripts/install-deps.sh
if [ -z "${BIN:-}" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD" -j2 --target bench_rule_file bench_rule_list vtrpro-rules rulemodules \
    VtrSqliteDatabaseu PLQRuleConfiguratoru PLQUsageDataCollector >/dev/null
  BIN=$ROOT/$BUILD/bin
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# The program's folders, away from the user's own.
export VTRPRO_DATA_SETTINGS_DIR=$WORK/settings/ APPDATA=$WORK/appdata VTR_PRO_DATABASE_DIR=$WORK/db \
  VTRPRO_MACHINE_ENVIRONMENT_FILE=$WORK/environment XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$WORK/settings" "$WORK/appdata" "$WORK/run" "$WORK/files"
chmod 700 "$WORK/run"

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "making the 100,000-rule file ..."
VTRPRO_BENCH_KEEP_DIR=$WORK/files "$BIN/bench_rule_file" --benchmark_filter='BM_BarePugixmlParse/100000$' \
  >/dev/null 2>&1
FILE=$WORK/files/rules_100000.vtr
FILE_BYTES=$(stat -c %s "$FILE")

# "seconds kilobytes" of the best of ROUNDS runs of a command (output discarded).
declare -A BEST_S BEST_KB
measure() { # name command...
  local name=$1
  shift
  local out
  /usr/bin/time -o "$WORK/time.txt" -f '%e %M' "$@" >/dev/null 2>&1 || true
  out=$(tail -1 "$WORK/time.txt")
  local s=${out% *} kb=${out#* }
  if [ -z "${BEST_S[$name]:-}" ] || awk -v a="$s" -v b="${BEST_S[$name]}" 'BEGIN{exit !(a<b)}'; then
    BEST_S[$name]=$s
    BEST_KB[$name]=$kb
  fi
}
echo "timing verify, show and xmllint, $ROUNDS rounds ..."
"$BIN/vtrpro-rules" verify "$FILE" >/dev/null || {
  echo "verify failed on the generated file" >&2
  exit 1
}
# Warm-up, not timed: the file in the page cache and the programs and their
# libraries mapped once, so that the first timed round pays no disk reads.
cat "$FILE" >/dev/null
xmllint --noout --stream "$FILE" >/dev/null 2>&1 || true
"$BIN/vtrpro-rules" show "$FILE" >/dev/null 2>&1 || true
for _ in $(seq "$ROUNDS"); do
  measure xmllint xmllint --noout --stream "$FILE"
  measure verify "$BIN/vtrpro-rules" verify "$FILE"
  measure show "$BIN/vtrpro-rules" show "$FILE"
done

echo "running the benchmarks, $ROUNDS repetitions ..."
# Inside the benchmarks freed memory stays with the process (no mmap, no
# trimming), so that repeated runs reuse pages instead of faulting them in
# again: on a virtual machine a first touch of a page can cost 10 us or
# more, and varies many times over from hour to hour, which would drown the
# work measured and the yardstick alike. The whole-process timings above
# pay their page faults as a user would.
export GLIBC_TUNABLES=glibc.malloc.mmap_max=0:glibc.malloc.trim_threshold=4294967295
"$BIN/bench_rule_file" --benchmark_filter='BM_(Read|Write|Verify)RuleFile/|BM_BarePugixmlParse/' \
  --benchmark_repetitions="$ROUNDS" --benchmark_min_warmup_time=0.5 --benchmark_format=csv >"$WORK/rule_file.csv" 2>/dev/null
"$BIN/bench_rule_list" --benchmark_filter='BM_OpenFileIntoList/|BM_BareParseOfListFile/' \
  --benchmark_repetitions="$ROUNDS" --benchmark_min_warmup_time=0.5 --benchmark_format=csv >"$WORK/rule_list.csv" 2>/dev/null
unset GLIBC_TUNABLES
# What a first touch of memory costs on this machine now: 200 MB written once.
FAULT_MS=$(python3 -c 'import time; t = time.perf_counter(); b = bytearray(200 << 20); b[::4096] = b"x" * len(b[::4096]); print("%.0f" % ((time.perf_counter() - t) * 1000))' 2>/dev/null || echo "?")

# Best real time (ms) of a benchmark, or of one of its counters with a third argument.
best() { # csv name [counter]
  awk -F, -v want="$2" -v counter="${3:-}" '
    /^name,/ { for (i = 1; i <= NF; i++) { h = $i; gsub(/"/, "", h); col[h] = i }; next }
    col["name"] {
      n = $1; gsub(/"/, "", n)
      if (n != want || $col["error_occurred"] == "true") next
      v = counter == "" ? $col["real_time"] : $col[counter]
      if (best == "" || v + 0 < best + 0) best = v
    }
    END { print (best == "" ? "nan" : best) }' "$1"
}

read_ms=$(best "$WORK/rule_file.csv" BM_ReadRuleFile/100000)
write_ms=$(best "$WORK/rule_file.csv" BM_WriteRuleFile/100000)
verify_ms=$(best "$WORK/rule_file.csv" BM_VerifyRuleFile/100000)
parse_ms=$(best "$WORK/rule_file.csv" BM_BarePugixmlParse/100000)
open_ms=$(best "$WORK/rule_list.csv" BM_OpenFileIntoList/100000/iterations:3)
listparse_ms=$(best "$WORK/rule_list.csv" BM_BareParseOfListFile/100000)
held=$(best "$WORK/rule_list.csv" BM_OpenFileIntoList/100000/iterations:3 heap_per_file_byte)

row() { # what value yardstick ratio goal
  awk -v w="$1" -v v="$2" -v y="$3" -v r="$4" -v g="$5" 'BEGIN {
    verdict = (r == "nan" || r + 0 <= 0) ? "not measured" : (r + 0 <= g + 0) ? "met" : "NOT met"
    rs = (r == "nan") ? "-" : sprintf("%.2fx", r)
    printf "%-34s %14s %18s %9s   <= %sx  %s\n", w, v, y, rs, g, verdict }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "nan" || b == "nan" || b <= 0) ? "nan" : a / b }'; }
sec() { awk -v a="$1" 'BEGIN { printf "%.3f s", a }'; }
ms() { awk -v a="$1" 'BEGIN { printf "%.1f ms", a }'; }
mb() { awk -v a="$1" 'BEGIN { printf "%.0f MB", a / 1e6 }'; }

echo
echo "file: 100,000 rules, $(mb "$FILE_BYTES")"
printf "%-34s %14s %18s %9s   %s\n" "measure" "value" "yardstick" "ratio" "goal"
row "verify (whole process)" "$(sec "${BEST_S[verify]}")" "xmllint $(sec "${BEST_S[xmllint]}")" \
  "$(ratio "${BEST_S[verify]}" "${BEST_S[xmllint]}")" 1.5
row "verify peak memory" "$(mb $((BEST_KB[verify] * 1024)))" "file $(mb "$FILE_BYTES")" \
  "$(ratio $((BEST_KB[verify] * 1024)) "$FILE_BYTES")" 2
row "show (whole process)" "$(sec "${BEST_S[show]}")" "xmllint $(sec "${BEST_S[xmllint]}")" \
  "$(ratio "${BEST_S[show]}" "${BEST_S[xmllint]}")" 2
row "read (BM_ReadRuleFile)" "$(ms "$read_ms")" "parse $(ms "$parse_ms")" "$(ratio "$read_ms" "$parse_ms")" 8
row "write (BM_WriteRuleFile)" "$(ms "$write_ms")" "parse $(ms "$parse_ms")" "$(ratio "$write_ms" "$parse_ms")" 6
row "open into the list" "$(ms "$open_ms")" "parse $(ms "$listparse_ms")" "$(ratio "$open_ms" "$listparse_ms")" 12
row "document held / file size" "$(awk -v h="$held" 'BEGIN { printf "%.2f", h }')" "heap after open" "$held" 2
echo "(xmllint peak memory: $(mb $((BEST_KB[xmllint] * 1024))); show peak memory: $(mb $((BEST_KB[show] * 1024))))"

echo
echo "growth from 10,000 to 100,000 rules (goal: at most 12)"
for b in BM_ReadRuleFile BM_WriteRuleFile BM_VerifyRuleFile; do
  big=$(best "$WORK/rule_file.csv" "$b/100000")
  small=$(best "$WORK/rule_file.csv" "$b/10000")
  awk -v b="$b" -v r="$(ratio "$big" "$small")" 'BEGIN { printf "%-34s %8s  %s\n", b, r, (r == "nan" ? "not measured" : r + 0 <= 12 ? "met" : "NOT met") }'
done
big=$(best "$WORK/rule_list.csv" BM_OpenFileIntoList/100000/iterations:3)
small=$(best "$WORK/rule_list.csv" BM_OpenFileIntoList/10000/iterations:3)
awk -v r="$(ratio "$big" "$small")" 'BEGIN { printf "%-34s %8s  %s\n", "BM_OpenFileIntoList", r, (r == "nan" ? "not measured" : r + 0 <= 12 ? "met" : "NOT met") }'
echo "machine after the run: load average $(cut -d' ' -f1-3 /proc/loadavg); first touch of 200 MB: $FAULT_MS ms"
