#!/usr/bin/env bash
# Screenshots of the schedule dialogs: runs the dialog test program's picture cases under
# Wine and grabs each dialog they announce (tests/support/screenshots.sh).
#   dialog_screenshots.sh WINE_RUN PREFIX TEST_EXE OUT_DIR
set -u
source "$(dirname "$0")/../../support/screenshots.sh"
wine_run=$1 prefix=$2 exe=$3 out=$4

run_and_grab_screenshots "$wine_run" "$prefix" "$out" '*' "$exe" \
    '--gtest_filter=EditorTest.NewTask*:EditorTest.SendIfChanged*:ListTest.Opens*:PreviewTest.*'
status=$?
require_screenshots "$out" task_editor task_editor_change_watch schedule_list preview || status=1
exit $status
