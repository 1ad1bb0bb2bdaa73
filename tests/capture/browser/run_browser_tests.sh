#!/usr/bin/env bash
# Runs the browser capture tests:
#   run_browser_tests.sh WINE_RUN PREFIX BIN_DIR EXTENSION_DIR DRIVER_EXE NPM_DIR WORK_DIR
# Installs puppeteer-core into NPM_DIR from the committed lock (once, or when the lock
# changes), prepares the product's registry in the prefix, writes the wrapper through
# which the browser starts the real host under Wine, and runs the Node test.
set -u
wine_run=$1 prefix=$2 bin=$3 extension=$4 driver=$5 npm_dir=$6 work=$7
here=$(cd "$(dirname "$0")" && pwd)

for tool in node npm /usr/bin/chromium /usr/bin/firefox-esr; do
  command -v "$tool" >/dev/null || { echo "run_browser_tests: $tool is missing (scripts/setup-debian.sh installs it)" >&2; exit 1; }
done
if [ ! -d "$npm_dir/node_modules/puppeteer-core" ] || ! cmp -s "$here/package-lock.json" "$npm_dir/package-lock.json"; then
  mkdir -p "$npm_dir"
  cp "$here/package.json" "$here/package-lock.json" "$npm_dir/"
  (cd "$npm_dir" && timeout 300 npm ci --no-audit --no-fund --loglevel=error) || { echo "run_browser_tests: npm ci failed" >&2; exit 1; }
fi

rm -rf "$work"
mkdir -p "$work"
# The first program also starts the prefix's wineserver and display.
"$wine_run" --prefix "$prefix" "$driver" reset 2000 || exit 1
display=$("$wine_run" --prefix "$prefix" --display)
prefix=$(cd "$prefix" && pwd)

wrapper="$work/cliphost-wrapper.sh"
cat >"$wrapper" <<WRAP
#!/bin/sh
# The browser starts this in place of cliphost.exe: the real host, under Wine.
export WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEARCH=win64 DISPLAY='$display' LANG=en_US.UTF-8
unset LC_ALL LANGUAGE
exec wine '$bin/cliphost.exe' "\$@" 2>>'$work/host-stderr.log'
WRAP
chmod +x "$wrapper"

QUILLON_WINE_RUN="$wine_run" QUILLON_PREFIX="$prefix" QUILLON_DRIVER="$driver" QUILLON_HOST="$wrapper" \
QUILLON_EXTENSION="$extension" QUILLON_NPM="$npm_dir" QUILLON_WORK="$work" \
  timeout 400 node "$here/capture_browser_test.mjs"
status=$?
exit $status
