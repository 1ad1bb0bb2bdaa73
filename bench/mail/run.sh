#!/usr/bin/env bash
# Delivery rate of mailwire.dll against Python's smtplib, in two settings:
#  - plain: both to one aiosmtpd sink on 127.0.0.181:25, one connection per message;
#  - secure submission: both to a real Postfix (tests/mail/wire/mail_system.py on
#    127.0.0.191, Dovecot signing in) over STARTTLS on 587 with sign-in; mailwire keeps
#    one session for the pass, smtplib sends everything over one connection.
# Builds nothing: expects build/windows (or $QUILLON_WINDOWS_BUILD) built. Run it as root
# inside a private network namespace (Postfix and the test authority's trust need both).
# ROUNDS (default 5) rounds of COUNT (default 1000) messages each way, taken in turn so
# that both see the same machine load; prints every round's rates and ratio, then the
# medians and the median of the ratios.
set -u
cd "$(dirname "$0")/../.."
build=${QUILLON_WINDOWS_BUILD:-build/windows}
count=${COUNT:-1000}
rounds=${ROUNDS:-5}
host=127.0.0.181
exe=$build/bench/mail_send_bench.exe
bin=$build/bin
if [ ! -f "$exe" ] || [ ! -f "$bin/mailwire.dll" ]; then
  echo "missing $exe or $bin/mailwire.dll (build the windows preset)"; exit 1
fi
work=$(mktemp -d)
chmod 755 "$work"   # the mail system's Maildir belongs to "nobody", who must reach it
sink=tests/mail/wire/smtp_sink.py
mail_system=tests/mail/wire/mail_system.py
trust=$build/tests/trust_test_root.exe
cleanup() {
  /usr/bin/python3 "$sink" stop --pidfile "$work/sink.pid"
  if [ -f "$work/mail_system/tls/ca.der" ]; then
    scripts/wine-run --prefix "$build/wineprefix" "$trust" remove "$work/mail_system/tls/ca.der" >/dev/null 2>&1
    /usr/bin/python3 "$mail_system" stop --dir "$work/mail_system"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
/usr/bin/python3 "$sink" start --host $host --port 25 --out "$work/received.jsonl" \
    --pidfile "$work/sink.pid" --lifetime 3600 || exit 1

rate() { echo "$1" | sed -n 's/.*: \([0-9.]*\) messages\/s.*/\1/p'; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

winbin="Z:$(cd "$bin" && pwd | tr / '\\')"
: > "$work/wire" ; : > "$work/py" ; : > "$work/ratio"
for round in $(seq 1 "$rounds"); do
  wire_line=$(scripts/wine-run --prefix "$build/wineprefix" "$exe" "$winbin" $host "$count") || {
    echo "$wire_line"; echo "mailwire run failed"; exit 1; }
  py_line=$(/usr/bin/python3 bench/mail/smtplib_bench.py $host "$count") || {
    echo "$py_line"; echo "smtplib run failed"; exit 1; }
  wire_rate=$(rate "$wire_line"); py_rate=$(rate "$py_line")
  ratio=$(awk -v a="$wire_rate" -v b="$py_rate" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print 0 }')
  echo "round $round: $wire_line | $py_line | ratio $ratio"
  echo "$wire_rate" >> "$work/wire"; echo "$py_rate" >> "$work/py"; echo "$ratio" >> "$work/ratio"
done
received=$(wc -l < "$work/received.jsonl")
echo "sink received $received messages (expected $((2 * count * rounds)))"
echo "median over $rounds rounds of $count messages: mailwire $(median < "$work/wire") messages/s," \
     "smtplib $(median < "$work/py") messages/s"
echo "ratio mailwire/smtplib (plain, a connection per message): median $(median < "$work/ratio")"

# Secure submission: STARTTLS with sign-in on a real Postfix.
secure_host=127.0.0.191
/usr/bin/python3 "$mail_system" start --dir "$work/mail_system" --host $secure_host --lifetime 3600 || exit 1
scripts/wine-run --prefix "$build/wineprefix" "$trust" add "$work/mail_system/tls/ca.der" || exit 1
user=pager; password='Pa55 w0rd!'; destination=pager@pager.test
: > "$work/swire" ; : > "$work/spy" ; : > "$work/sratio"
for round in $(seq 1 "$rounds"); do
  wire_line=$(scripts/wine-run --prefix "$build/wineprefix" "$exe" "$winbin" $secure_host "$count" 587 1 \
              "$user" "$password" "$destination") || { echo "$wire_line"; echo "mailwire secure run failed"; exit 1; }
  py_line=$(/usr/bin/python3 bench/mail/smtplib_bench.py $secure_host "$count" 587 "$user" "$password" \
            "$work/mail_system/tls/ca.der" "$destination") || { echo "$py_line"; echo "smtplib secure run failed"; exit 1; }
  wire_rate=$(rate "$wire_line"); py_rate=$(rate "$py_line")
  ratio=$(awk -v a="$wire_rate" -v b="$py_rate" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print 0 }')
  echo "secure round $round: $wire_line | $py_line | ratio $ratio"
  echo "$wire_rate" >> "$work/swire"; echo "$py_rate" >> "$work/spy"; echo "$ratio" >> "$work/sratio"
done
echo "secure median over $rounds rounds of $count messages: mailwire $(median < "$work/swire") messages/s," \
     "smtplib $(median < "$work/spy") messages/s"
echo "ratio mailwire/smtplib (STARTTLS with sign-in, one session): median $(median < "$work/sratio") (target at least 1.0)"
