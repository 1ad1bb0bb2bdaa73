#!/usr/bin/env bash
# Pictures of the add-in for the README: runs the host test program's screenshot case
# under Wine with QUILLON_SCREENSHOT_DIR set; each picture, once on screen at the
# screen's corner, is announced with <name>.ready ("width height"); this script grabs
# that part of the Xvfb screen into <name>.png and answers with <name>.done.
#   capture_screenshots.sh WINE_RUN PREFIX TEST_EXE OUT_DIR
set -u
wine_run=$1 prefix=$2 exe=$3 out=$4
mkdir -p "$out"
rm -f "$out"/capture-*.ready "$out"/capture-*.done "$out"/capture-*.png  "$out"/capture-*.bmp "$out"/capture-*.offset
display=$("$wine_run" --prefix "$prefix" --display) || exit 1

QUILLON_SCREENSHOT_DIR="$out" "$wine_run" --prefix "$prefix" "$exe" '--gtest_filter=CaptureHost.Screenshots' &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
  for ready in "$out"/capture-*.ready; do
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
# Pictures the program printed itself.
# The menu printed itself (Xvfb shows Wine's menu windows unpainted): laid over the
# screen's picture at its place.
popup="$out/capture-tools-menu-popup"
if [ -s "$popup.bmp" ] && [ -s "$popup.offset" ] && [ -s "$out/capture-tools-menu.png" ]; then
  read -r x y < "$popup.offset"
  convert "$out/capture-tools-menu.png" "$popup.bmp" -geometry "+$x+$y" -composite "$out/capture-tools-menu.png"
fi
rm -f "$popup.bmp" "$popup.offset"
for name in capture-tools-menu capture-preview; do
  [ -s "$out/$name.png" ] || { echo "missing screenshot $name.png"; status=1; }
done
exit $status
