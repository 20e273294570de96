#!/usr/bin/env bash
# Fuzzes the targets for a given time in all, each from its committed corpus
# (fuzz/corpus/<target>/), its seeds and its past findings, and says how many
# new inputs each run found. With --merge, fuzz/corpus/<target>/ is chosen
# afresh from itself and those inputs (libFuzzer's -merge=1), so that the
# next run starts where this one ended.
# Findings are kept in build-fuzz/findings/<target>/, ready for
# fuzz/regressions/<target>/. CI runs it without --merge: its finds go with
# its machine, and the maintainer's longer runs grow the corpus.
#
#   tools/fuzz.sh 105                     # CI's run
#   nice tools/fuzz.sh --merge 1800       # half an hour, corpus grown
#   nice tools/fuzz.sh --merge 300 manifest
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: tools/fuzz.sh [--merge] SECONDS [TARGET...]" >&2
  echo "  SECONDS is shared among the targets (all six when none is named)" >&2
  exit 2
}
merge=0
if [ "${1-}" = --merge ]; then
  merge=1
  shift
fi
if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  usage
fi
total=$1
shift

# Each target's share of the time and its longest input. The encoder checks
# every input against the plain scan, which is quadratic in its length: it
# runs the fewest inputs a second and has the largest share. The reader runs
# a hundred thousand a second and needs little.
order=(reader compressor encoder converter bitmap manifest)
declare -A share=([reader]=10 [compressor]=20 [encoder]=30 [converter]=10 [bitmap]=20 [manifest]=15)
declare -A longest=([reader]=4096 [compressor]=1024 [encoder]=512 [converter]=1024 [bitmap]=4096
                    [manifest]=4096)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${order[@]}")
shares=0
for target in "${targets[@]}"; do
  [ -n "${share[$target]-}" ] || { echo "no fuzz target $target (${order[*]})" >&2; exit 2; }
  shares=$((shares + share[$target]))
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/%/_fuzz}"

names() { find "$1" -type f -printf '%f\n' | sort; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# An input that takes over 10 seconds or asks for more than 64 MB at once is
# a finding like a crash.
limits=(-malloc_limit_mb=64 -timeout=10)
failed=()
found=0
for target in "${targets[@]}"; do
  seconds=$((total * share[$target] / shares))
  [ "$seconds" -ge 1 ] || seconds=1
  program=build-fuzz/bin/${target}_fuzz
  findings=build-fuzz/findings/$target
  mkdir -p "$work/$target" "$findings"
  inputs=()
  for folder in fuzz/corpus/$target fuzz/seeds/$target fuzz/regressions/$target; do
    [ -d "$folder" ] && inputs+=("$folder")
  done
  log=$work/$target.log
  touch "$work/$target.start"
  # New inputs go to the first folder, the scratch one: the others are read only.
  if ! "$program" -max_total_time="$seconds" -max_len="${longest[$target]}" "${limits[@]}" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work/$target" "${inputs[@]}" \
    >"$log" 2>&1; then
    tail -n 40 "$log"
    find "$findings" -type f -newer "$work/$target.start" | sed 's/^/finding: /'
    echo "fuzz target $target failed"
    failed+=("$target")
    continue
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  new=$(find "$work/$target" -type f | wc -l)
  found=$((found + new))
  line="fuzz $target: $executions executions in $seconds s, $new new inputs"
  if [ "$merge" = 1 ]; then
    # The corpus is chosen afresh from itself and the new inputs, beside the
    # seeds and past findings: what those cover already is left out, and an
    # input whose coverage smaller ones have come to hold is dropped. So is
    # one that takes over a second (a bitmap of a few bytes can declare
    # millions of pixels): every run and every test run would pay for it,
    # and the seeds hold large bitmaps already.
    corpus=fuzz/corpus/$target
    staging=$work/$target.merge
    mkdir -p "$staging" "$corpus"
    for folder in fuzz/seeds/$target fuzz/regressions/$target; do
      [ -d "$folder" ] && find "$folder" -type f -exec cp -t "$staging" {} +
    done
    names "$staging" >"$work/$target.fixed"
    "$program" -merge=1 -max_len="${longest[$target]}" -malloc_limit_mb=64 -timeout=1 \
      -artifact_prefix="$work/$target.slow-" "$staging" "$corpus" "$work/$target" \
      >"$work/$target.merge.log" 2>&1 ||
      { tail -n 20 "$work/$target.merge.log"; echo "merging $target failed"; exit 1; }
    names "$staging" | comm -13 "$work/$target.fixed" - >"$work/$target.kept"
    had=$(names "$corpus" | wc -l)
    added=$(names "$corpus" | comm -13 - "$work/$target.kept" | wc -l)
    find "$corpus" -type f -delete
    sed "s|^|$staging/|" "$work/$target.kept" | xargs -r cp -t "$corpus"
    line+="; $corpus: $(names "$corpus" | wc -l) inputs (had $had, $added new),"
    line+=" $(find "$corpus" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }') bytes"
  fi
  echo "$line"
done
if [ "$merge" = 0 ] && [ "$found" -gt 0 ]; then
  echo "fuzz: $found new inputs, not kept (tools/fuzz.sh --merge SECONDS adds them to fuzz/corpus/)"
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets failed: ${failed[*]} (findings in build-fuzz/findings/)"
  exit 1
fi
