#!/usr/bin/env bash
# Runs every libFuzzer driver of the fuzz preset for FUZZ_SECONDS each (default 60) and
# prints, per target, the coverage the seed corpus reaches, the executions and the
# coverage at the end. A target whose coverage stays at a handful of edges is fuzzing
# blind (its library was built without instrumentation).
#
# Each target works on a scratch copy of its corpus under build/fuzz/long/, so the
# repository's corpus is not flooded with generated inputs. An input that makes a target
# fail is copied into the target's corpus in the source tree (found_<hash>) and the run
# fails: the ordinary test run replays it from then on.
# FUZZ_RESUME=1 goes on from the scratch corpus an earlier run left (a long run in
# several sittings); without it each run starts from the repository's corpus.
# FUZZ_FLAGS adds libFuzzer flags (for example -entropic=0 where the entropic schedule's
# bookkeeping over a large corpus costs more than the target).
#   FUZZ_SECONDS=600 FUZZ_JOBS=2 scripts/fuzz-long.sh [TARGET_NAME...]
set -u
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-1}
build=build/fuzz
[ -d "$build" ] || { echo "fuzz-long: build the fuzz preset first (make fuzz)" >&2; exit 2; }

# Corpus folder of each target, as the fuzz preset's configuration recorded it.
corpus_of() {
  local file="$build/fuzz-targets/$1.corpus"
  [ -f "$file" ] && head -n1 "$file"
}

mapfile -t drivers < <(find "$build" -type f -name '*_fuzzer' -perm -u+x | sort)
status=0
printf '%-28s %10s %14s %10s %8s\n' target seed-cov executions exec/s cov
for driver in "${drivers[@]}"; do
  name=$(basename "$driver" _fuzzer)
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  corpus=$(corpus_of "$name")
  work="$build/long/$name"
  artifacts="$build/long/$name-artifacts"
  if [ -n "${FUZZ_RESUME:-}" ] && [ -d "$work" ]; then
    rm -rf "$artifacts"; mkdir -p "$artifacts"
  else
    rm -rf "$work" "$artifacts"; mkdir -p "$work" "$artifacts"
    [ -n "$corpus" ] && [ -d "$corpus" ] && cp "$corpus"/* "$work"/ 2>/dev/null
  fi
  log="$build/long/$name.log"
  seed=$("$driver" -runs=0 "$work" 2>&1 | sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' | tail -n1)
  # Several jobs write their logs (fuzz-N.log) into the current folder: run there from
  # the scratch folder, never from the source tree.
  parallel=()
  [ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
  (cd "$build/long" && exec "$OLDPWD/$driver" -max_total_time="$seconds" -print_final_stats=1 "${parallel[@]}" ${FUZZ_FLAGS:-} \
      -artifact_prefix="$OLDPWD/$artifacts/" "$OLDPWD/$work") >"$log" 2>&1
  rc=$?
  if [ "$jobs" -gt 1 ]; then cat "$build"/long/fuzz-*.log >>"$log" 2>/dev/null; rm -f "$build"/long/fuzz-*.log; fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1/p' "$log" | awk '{s+=$1} END {print s+0}')
  speed=$(sed -n 's/^stat::average_exec_per_sec: *\([0-9]*\)/\1/p' "$log" | awk '{s+=$1} END {print s+0}')
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' "$log" | sort -n | tail -n1)
  printf '%-28s %10s %14s %10s %8s\n' "$name" "${seed:-?}" "$runs" "$speed" "${cov:-?}"
  found=$(find "$artifacts" -type f | head -n 20)
  if [ $rc -ne 0 ] || [ -n "$found" ]; then
    status=1
    echo "  $name failed (exit $rc); log: $log"
    for f in $found; do
      if [ -n "$corpus" ]; then
        dest="$corpus/found_$(sha1sum "$f" | cut -c1-12)"
        cp "$f" "$dest" && echo "  kept $f as $dest"
      fi
    done
  fi
done
exit $status
