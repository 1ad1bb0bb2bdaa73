#!/usr/bin/env bash
# Runs the engine's end-to-end test with a real SMTP server on loopback:
#   run_e2e.sh WINE_RUN PREFIX TEST_EXE WORK_DIR [SMTP_ADDRESS]
# (SMTP_ADDRESS: another test's own address instead of 127.0.0.70.)
# Debian's aiosmtpd (with /usr/bin/python3, not the pyenv one) listens on port 25 of
# this test's own address and stores every message in a maildir that the test reads
# (QUILLON_E2E_MAILDIR). The server is bounded by `timeout` and stopped at the end.
set -u
address=${5:-127.0.0.70}
tag=${5:+-$5}
maildir="$4/e2e-maildir$tag"
rm -rf "$maildir"
mkdir -p "$4"

timeout 170 /usr/bin/python3 -m aiosmtpd -n -l "$address:25" -c aiosmtpd.handlers.Mailbox "$maildir" \
    </dev/null >"$4/e2e-smtp$tag.log" 2>&1 &
server=$!
ready=0
for _ in $(seq 1 100); do
  if (exec 3<>"/dev/tcp/$address/25") 2>/dev/null; then ready=1; break; fi
  sleep 0.1
done
if [ $ready -ne 1 ]; then
  echo "run_e2e: the SMTP server did not start" >&2
  cat "$4/e2e-smtp$tag.log" >&2
  kill "$server" 2>/dev/null
  exit 1
fi

QUILLON_E2E_MAILDIR="$maildir" "$1" --prefix "$2" "$3"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
