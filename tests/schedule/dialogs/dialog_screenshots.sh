#!/usr/bin/env bash
# Screenshots of the schedule dialogs: runs the dialog test program under Wine with
# QUILLON_SCREENSHOT_DIR set; each dialog, once shown at the screen's corner, announces
# itself with <name>.ready ("width height"), and this script grabs that part of the
# Xvfb screen into <name>.png and answers with <name>.done.
#   dialog_screenshots.sh WINE_RUN PREFIX TEST_EXE OUT_DIR
set -u
wine_run=$1 prefix=$2 exe=$3 out=$4
mkdir -p "$out"
rm -f "$out"/*.ready "$out"/*.done "$out"/*.png
display=$("$wine_run" --prefix "$prefix" --display) || exit 1

QUILLON_SCREENSHOT_DIR="$out" "$wine_run" --prefix "$prefix" "$exe" \
    '--gtest_filter=EditorTest.NewTask*:EditorTest.SendIfChanged*:ListTest.Opens*:PreviewTest.*' &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
  for ready in "$out"/*.ready; do
    [ -s "$ready" ] || continue
    name=$(basename "$ready" .ready)
    read -r width height < "$ready"
    xwd -root -display "$display" -silent | convert xwd:- -crop "${width}x${height}+0+0" +repage "$out/$name.png"
    rm -f "$ready"
    : > "$out/$name.done"
  done
  sleep 0.1
done
wait "$pid"
status=$?
for name in task_editor task_editor_change_watch schedule_list preview; do
  [ -s "$out/$name.png" ] || { echo "missing screenshot $name.png"; status=1; }
done
exit $status
