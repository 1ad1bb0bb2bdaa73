#!/usr/bin/env bash
# Runs every benchmark: each bench/<name>/run.sh prints its own figures.
# Expects both presets built (make bench does that).
set -u
cd "$(dirname "$0")/.."
status=0
for script in bench/*/run.sh; do
  [ -f "$script" ] || continue
  echo "== ${script%/run.sh}"
  bash "$script" || status=1
done
exit $status
