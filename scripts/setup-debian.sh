#!/usr/bin/env bash
# Installs the Debian packages that building and testing Quillon needs. Idempotent: it
# asks apt only for what is missing, so a machine that has everything is left alone.
set -eu

packages=(
  cmake make g++ gcc clang libclang-rt-14-dev ccache
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 libwine-dev fonts-wine
  xvfb xauth x11-apps imagemagick locales
  googletest python3 python3-aiosmtpd
  w3m lynx html2text
  python3-cryptography nlohmann-json3-dev
  fp-utils nsis
  nlohmann-json3-dev chromium firefox-esr nodejs
)

# npm comes with some builds of Node.js; Debian's own Node.js needs its npm package.
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-debian: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "setup-debian: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
