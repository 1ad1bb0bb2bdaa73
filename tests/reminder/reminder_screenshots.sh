#!/usr/bin/env bash
# Screenshots of the reminder: runs reminder_screenshots.exe under Wine with
# QUILLON_SCREENSHOT_DIR set, grabs each announced window (<name>.ready: "width height",
# at the screen's corner) from the Xvfb screen into <name>.png and answers <name>.done.
#   reminder_screenshots.sh WINE_RUN PREFIX EXE OUT_DIR
set -u
wine_run=$1 prefix=$2 exe=$3 out=$4
mkdir -p "$out"
rm -f "$out"/reminder_*.ready "$out"/reminder_*.done "$out"/reminder_*.png
display=$("$wine_run" --prefix "$prefix" --display) || exit 1

QUILLON_SCREENSHOT_DIR="$out" "$wine_run" --prefix "$prefix" "$exe" &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
  for ready in "$out"/reminder_*.ready; do
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
for name in reminder_intro reminder_window; do
  [ -s "$out/$name.png" ] || { echo "missing screenshot $name.png"; status=1; }
done
exit $status
