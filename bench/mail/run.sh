#!/usr/bin/env bash
# Delivery rate of mailwire.dll against Python's smtplib, both to one aiosmtpd sink on
# 127.0.0.181:25. Builds nothing: expects build/windows (or $QUILLON_WINDOWS_BUILD) built.
# COUNT (default 1000) messages each way; prints both rates and their ratio.
set -u
cd "$(dirname "$0")/../.."
build=${QUILLON_WINDOWS_BUILD:-build/windows}
count=${COUNT:-1000}
host=127.0.0.181
exe=$build/bench/mail_send_bench.exe
bin=$build/bin
if [ ! -f "$exe" ] || [ ! -f "$bin/mailwire.dll" ]; then
  echo "missing $exe or $bin/mailwire.dll (build the windows preset)"; exit 1
fi
work=$(mktemp -d)
sink=tests/mail/wire/smtp_sink.py
trap '/usr/bin/python3 "$sink" stop --pidfile "$work/sink.pid"; rm -rf "$work"' EXIT
/usr/bin/python3 "$sink" start --host $host --port 25 --out "$work/received.jsonl" \
    --pidfile "$work/sink.pid" --lifetime 1800 || exit 1

winbin="Z:$(cd "$bin" && pwd | tr / '\\')"
wire_line=$(scripts/wine-run --prefix "$build/wineprefix" "$exe" "$winbin" $host "$count") || {
  echo "$wire_line"; echo "mailwire run failed"; exit 1; }
py_line=$(/usr/bin/python3 bench/mail/smtplib_bench.py $host "$count") || {
  echo "$py_line"; echo "smtplib run failed"; exit 1; }
echo "$wire_line"
echo "$py_line"
received=$(wc -l < "$work/received.jsonl")
echo "sink received $received messages (expected $((2 * count)))"
wire_rate=$(echo "$wire_line" | sed -n 's/.*: \([0-9.]*\) messages\/s.*/\1/p')
py_rate=$(echo "$py_line" | sed -n 's/.*: \([0-9.]*\) messages\/s.*/\1/p')
awk -v a="$wire_rate" -v b="$py_rate" 'BEGIN { if (b > 0) printf "ratio mailwire/smtplib: %.2f\n", a / b }'
