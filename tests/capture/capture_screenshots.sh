#!/usr/bin/env bash
# Pictures of the add-in for the README: runs the host test program's screenshot case
# under Wine and grabs each picture it announces (tests/support/screenshots.sh).
#   capture_screenshots.sh WINE_RUN PREFIX TEST_EXE OUT_DIR
set -u
source "$(dirname "$0")/../support/screenshots.sh"
wine_run=$1 prefix=$2 exe=$3 out=$4
rm -f "$out"/capture-*.bmp "$out"/capture-*.offset

run_and_grab_screenshots "$wine_run" "$prefix" "$out" 'capture-*' "$exe" '--gtest_filter=CaptureHost.Screenshots'
status=$?
# The menu printed itself (Xvfb shows Wine's menu windows unpainted): laid over the
# screen's picture at its place.
popup="$out/capture-tools-menu-popup"
if [ -s "$popup.bmp" ] && [ -s "$popup.offset" ] && [ -s "$out/capture-tools-menu.png" ]; then
  read -r x y < "$popup.offset"
  convert "$out/capture-tools-menu.png" "$popup.bmp" -geometry "+$x+$y" -composite "$out/capture-tools-menu.png"
fi
rm -f "$popup.bmp" "$popup.offset"
require_screenshots "$out" capture-tools-menu capture-preview || status=1
exit $status
