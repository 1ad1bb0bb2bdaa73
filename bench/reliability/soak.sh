#!/usr/bin/env bash
# The soak of the scheduler's engine: TICKS minute ticks (default 10000) with a clock of
# its own, tasks due, task retries, mail and mail retries, under Wine in a prefix of its
# own. Prints the handle count and private bytes every 1,000 ticks, then checks the log
# (every tick line once, CR LF throughout) and the messages the SMTP server accepted
# (each once, none missing).
#
#   bench/reliability/soak.sh [BUILD_DIR] [TICKS]     (BUILD_DIR: build/windows)
# Run it inside a private network namespace, or where 127.0.0.156 port 25 is free.
# SOAK_SECURE=1: the mail goes through secure submission (TLS on port 465 with a sign-in)
# to the test TLS peers of tests/mail/wire/tls_peer.py (127.0.0.90 and .91), which refuse
# nothing; their authority is trusted in the soak's prefix for the run.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-build/windows}" && pwd)
ticks=${2:-10000}
work="$root/build/reliability/soak"
prefix="$root/build/reliability/soak-prefix"
address=127.0.0.156
mkdir -p "$work"
rm -f "$work/accepted.txt" "$work/soak.log"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

variant=${SOAK_LEAVE_OUT:-}
tls_dir="$work/tls"
if [ -n "${SOAK_SECURE:-}" ]; then
  variant=secure
  address=127.0.0.91
  rm -rf "$tls_dir"
  /usr/bin/python3 "$root/tests/mail/wire/tls_peer.py" start --dir "$tls_dir" --pidfile "$work/tls.pid" \
      --lifetime 7200 || exit 1
  "$root/scripts/wine-run" --prefix "$prefix" "$build/tests/trust_test_root.exe" add "$tls_dir/ca.der" || exit 1
else
  /usr/bin/python3 "$root/bench/reliability/smtp_flaky.py" "$address" "$work/accepted.txt" 7200 &
  server=$!
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/$address/25") 2>/dev/null && break
    sleep 0.1
  done
fi
start=$(date +%s)
"$root/scripts/wine-run" --prefix "$prefix" "$build/bench/reliability_soak.exe" "$(winpath "$build/bin")" \
    "$(winpath "$build/tests")" "$address" "$ticks" "$(winpath "$work/soak.log")" $variant | tee "$work/rows.txt"
status=${PIPESTATUS[0]}
echo "seconds: $(( $(date +%s) - start ))"
if [ -n "${SOAK_SECURE:-}" ]; then
  "$root/scripts/wine-run" --prefix "$prefix" "$build/tests/trust_test_root.exe" remove "$tls_dir/ca.der"
  /usr/bin/python3 "$root/tests/mail/wire/tls_peer.py" stop --pidfile "$work/tls.pid"
  # The messages the peers took, one line each, as the plain server writes them.
  /usr/bin/python3 -c '
import json, sys
with open(sys.argv[2], "w", encoding="latin-1") as out:
    for line in open(sys.argv[1], encoding="utf-8"):
        event = json.loads(line)
        if "data" in event:
            out.write(" ".join(event["data"].splitlines()) + "\n")
' "$tls_dir/received.jsonl" "$work/accepted.txt"
else
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
fi
"$root/scripts/wine-run" --prefix "$prefix" --shutdown >/dev/null 2>&1

/usr/bin/python3 - "$work/soak.log" "$work/accepted.txt" "$ticks" "$work/rows.txt" <<'PY'
import re, sys
log = open(sys.argv[1], "rb").read()
accepted = open(sys.argv[2], encoding="latin-1").read().splitlines()
ticks = int(sys.argv[3])
ok = True
bare_lf = len(re.findall(rb"(?<!\r)\n", log))
bare_cr = len(re.findall(rb"\r(?!\n)", log))
tick_lines = re.findall(rb"TASQED\.EXE: [0-9/: ]+\r\n", log)
print("log: %d bytes, %d lines; bare LF %d, bare CR %d" % (len(log), log.count(b"\r\n"), bare_lf, bare_cr))
print("tick lines: %d for %d ticks, %d distinct" % (len(tick_lines), ticks, len(set(tick_lines))))
ok &= bare_lf == 0 and bare_cr == 0 and len(tick_lines) == ticks and len(set(tick_lines)) == ticks
print("task runs: %d succeeded, %d failed; messages: %d sent, %d given up" % (
    log.count(b"Task completed successfully\r\n"), log.count(b"Task failed\r\n"),
    log.count(b"Succeeded in sending message\r\n"), log.count(b"Gave up on sending message\r\n")))
numbers = [int(m) for line in accepted for m in re.findall(r"soak message (\d+)", line)]
rows = open(sys.argv[4]).read()
queued = int(re.search(r"messages queued: (\d+)", rows).group(1)) if "messages queued" in rows else -1
dups = len(numbers) - len(set(numbers))
print("messages accepted by the server: %d of %d queued, %d twice" % (len(set(numbers)), queued, dups))
ok &= dups == 0
print("outcome: " + ("log and deliveries as expected" if ok else "UNEXPECTED"))
sys.exit(0 if ok else 1)
PY
check=$?
[ $status -eq 0 ] && [ $check -eq 0 ]
