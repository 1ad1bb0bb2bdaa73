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
  postfix dovecot-core dovecot-pop3d
)

# The mail system tests start their own Postfix and Dovecot on a loopback address with a
# configuration in the build folder; the system's own instances must never run, or they
# would hold ports 25 and 110 on every address. Postfix gets "No configuration" so that
# installing it writes no main.cf and delivers nothing.
KeepMailServicesStopped() {
  local service
  for service in postfix dovecot; do
    if command -v systemctl >/dev/null 2>&1; then
      if [ -d /run/systemd/system ]; then
        systemctl disable --now "$service" >/dev/null 2>&1 || true
      else
        systemctl disable "$service" >/dev/null 2>&1 || true
      fi
    fi
    if [ -x "/etc/init.d/$service" ]; then
      "/etc/init.d/$service" stop >/dev/null 2>&1 || true
      update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
  done
}

# npm comes with some builds of Node.js; Debian's own Node.js needs its npm package.
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  [ "$(id -u)" -eq 0 ] && KeepMailServicesStopped
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-debian: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "setup-debian: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
# While the packages install, no service is started (a policy that already exists is kept).
startPolicy=/usr/sbin/policy-rc.d
ownPolicy=0
if [ ! -e "$startPolicy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$startPolicy"
  chmod 755 "$startPolicy"
  ownPolicy=1
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" || {
  rc=$?; [ $ownPolicy -eq 1 ] && rm -f "$startPolicy"; exit $rc; }
[ $ownPolicy -eq 1 ] && rm -f "$startPolicy"
KeepMailServicesStopped
