# Sourced by the screenshot scripts of the tests. A test program run with
# QUILLON_SCREENSHOT_DIR set announces each picture, once it is on screen at the
# screen's corner, with <name>.ready ("width height"); these functions grab that part
# of the Xvfb screen into <name>.png and answer with <name>.done.

# run_and_grab_screenshots WINE_RUN PREFIX OUT_DIR GLOB EXE [ARGS...]
# Removes the earlier .ready, .done and .png files named GLOB from OUT_DIR, runs EXE
# under Wine and grabs every picture announced as GLOB.ready until the program ends.
# Returns the program's exit status; exits the script when Wine has no display.
run_and_grab_screenshots() {
  local wine_run=$1 prefix=$2 out=$3 glob=$4
  shift 4
  mkdir -p "$out"
  rm -f "$out"/$glob.ready "$out"/$glob.done "$out"/$glob.png
  local display
  display=$("$wine_run" --prefix "$prefix" --display) || exit 1

  QUILLON_SCREENSHOT_DIR="$out" "$wine_run" --prefix "$prefix" "$@" &
  local pid=$! ready name width height
  while kill -0 "$pid" 2>/dev/null; do
    for ready in "$out"/$glob.ready; do
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
}

# require_screenshots OUT_DIR NAME...
# Returns 1, with a line for each, when any NAME.png is missing or empty.
require_screenshots() {
  local out=$1 status=0 name
  shift
  for name in "$@"; do
    [ -s "$out/$name.png" ] || { echo "missing screenshot $name.png"; status=1; }
  done
  return $status
}
