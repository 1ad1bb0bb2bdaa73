#!/usr/bin/env bash
# Prints the scheduler engine's figures. Builds nothing: expects the windows preset built
# (BUILD_DIR, default build/windows). Starts an SMTP sink (Debian's aiosmtpd with
# /usr/bin/python3) on 127.0.0.180:25 for the dispatch figure and stops it afterwards.
set -u
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build/windows}
program="$build/bench/scheduler_engine_bench.exe"
if [ ! -f "$program" ]; then
  echo "missing $program (build the windows preset)"; exit 1
fi
address=127.0.0.180
timeout 600 /usr/bin/python3 -m aiosmtpd -n -l "$address:25" -c aiosmtpd.handlers.Sink </dev/null >/dev/null 2>&1 &
sink=$!
for _ in $(seq 1 100); do
  (exec 3<>"/dev/tcp/$address/25") 2>/dev/null && break
  sleep 0.1
done
bin="Z:$(cd "$build/bin" && pwd | tr / '\\')"
scripts/wine-run --prefix "$build/wineprefix" "$program" "$bin" "$address"
status=$?
kill "$sink" 2>/dev/null
wait "$sink" 2>/dev/null
exit $status
