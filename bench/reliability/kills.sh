#!/usr/bin/env bash
# The long run of the kill tests (the short one is reliability_kill_tests in make test):
# the page sender killed while it queues a page of twelve messages, and the scheduler's
# engine killed while it delivers, each KILLS times (default 60), under Wine with the
# real quillon.exe, WEBFLAT.DLL and mailwire.dll and an SMTP server on 127.0.0.150.
# The page-sender test fails on any incomplete message key; it counts the staging keys
# the kills left, which the engine passes over and the next writer removes.
#
#   bench/reliability/kills.sh [BUILD_DIR] [KILLS]     (BUILD_DIR: build/windows)
# Run it inside a private network namespace, or where 127.0.0.150 port 25 is free.
# Prints each test's figures; exits non-zero when a check failed.
set -u
build=$(cd "${1:-build/windows}" && pwd)
kills=${2:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
status=0
for test in PageSender Scheduler; do
  echo "== $test, $kills kills"
  start=$(date +%s)
  out=$(QUILLON_KILL_ROUNDS=$kills GTEST_FILTER="*$test*" QUILLON_KILL_SMTP_ADDRESS=127.0.0.150 \
        QUILLON_BIN_DIR="$build/bin" QUILLON_TEST_DATA="$root/tests" QUILLON_BUILD_DIR="$build" \
        bash "$root/tests/scheduler/engine/run_e2e.sh" "$root/scripts/wine-run" "$build/wineprefix" \
        "$build/tests/reliability_kill_tests.exe" "$build/scratch" 127.0.0.150 2>&1) || status=1
  echo "$out" | grep -E "whole page-sender|page sender:|queue after|scheduler:|Failure|FAILED|OK \]" 
  echo "seconds: $(( $(date +%s) - start ))"
done
exit $status
