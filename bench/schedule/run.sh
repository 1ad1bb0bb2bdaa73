#!/usr/bin/env bash
# Prints the task engine's figures. Builds nothing: expects build/native and
# build/windows to be built (make bench does that).
set -u
cd "$(dirname "$0")/../.."
status=0
native=build/native/bench/schedule_eval_bench
windows=build/windows/bench/schedule_reload_bench.exe
if [ -x "$native" ]; then
  "$native" || status=1
else
  echo "missing $native (build the native preset)"; status=1
fi
if [ -f "$windows" ]; then
  scripts/wine-run --prefix build/windows/wineprefix "$windows" || status=1
else
  echo "missing $windows (build the windows preset)"; status=1
fi
exit $status
