#!/usr/bin/env bash
# Screenshots of the reminder: runs reminder_screenshots.exe under Wine and grabs each
# window it announces (tests/support/screenshots.sh).
#   reminder_screenshots.sh WINE_RUN PREFIX EXE OUT_DIR
set -u
source "$(dirname "$0")/../support/screenshots.sh"
wine_run=$1 prefix=$2 exe=$3 out=$4

run_and_grab_screenshots "$wine_run" "$prefix" "$out" 'reminder_*' "$exe"
status=$?
require_screenshots "$out" reminder_intro reminder_window || status=1
exit $status
