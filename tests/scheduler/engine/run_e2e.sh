#!/usr/bin/env bash
# Runs the engine's end-to-end test with a real SMTP server on loopback:
#   run_e2e.sh WINE_RUN PREFIX TEST_EXE WORK_DIR [SMTP_ADDRESS]
# (SMTP_ADDRESS: another test's own address instead of 127.0.0.70.)
# The SMTP sink (tests/mail/wire/smtp_sink.py, Debian's aiosmtpd) listens on port 25 of
# this test's own address and stores every message in a maildir that the test reads
# (QUILLON_E2E_MAILDIR). The server stops by itself after its lifetime and is stopped at
# the end.
set -u
address=${5:-127.0.0.70}
tag=${5:+-$5}
sink="$(dirname "$0")/../../mail/wire/smtp_sink.py"
maildir="$4/e2e-maildir$tag"
rm -rf "$maildir"
mkdir -p "$4"

if ! /usr/bin/python3 "$sink" start --host "$address" --port 25 --maildir "$maildir" \
    --pidfile "$4/e2e-smtp$tag.pid" --lifetime 170; then
  echo "run_e2e: the SMTP server did not start" >&2
  exit 1
fi

QUILLON_E2E_MAILDIR="$maildir" "$1" --prefix "$2" "$3"
status=$?
/usr/bin/python3 "$sink" stop --pidfile "$4/e2e-smtp$tag.pid"
exit $status
