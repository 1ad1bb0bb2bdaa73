#!/usr/bin/env bash
# Prints the scheduler engine's figures. Builds nothing: expects the windows preset built
# (BUILD_DIR, default build/windows). Starts the SMTP sink (tests/mail/wire/smtp_sink.py)
# on 127.0.0.180:25 for the dispatch figure and stops it afterwards.
set -u
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build/windows}
program="$build/bench/scheduler_engine_bench.exe"
if [ ! -f "$program" ]; then
  echo "missing $program (build the windows preset)"; exit 1
fi
address=127.0.0.180
sink=tests/mail/wire/smtp_sink.py
pidfile=$(mktemp)
/usr/bin/python3 "$sink" start --host "$address" --port 25 --pidfile "$pidfile" --lifetime 600 || exit 1
bin="Z:$(cd "$build/bin" && pwd | tr / '\\')"
scripts/wine-run --prefix "$build/wineprefix" "$program" "$bin" "$address"
status=$?
/usr/bin/python3 "$sink" stop --pidfile "$pidfile"
exit $status
