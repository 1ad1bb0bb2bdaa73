#!/usr/bin/env bash
# make demo: the suite end to end under Wine, as a user would have it installed.
#
#   1. a fresh Wine prefix under build/demo, the schedule component registered with
#      regsvr32 from the installation folder build/windows/bin;
#   2. a real SMTP server (Debian's aiosmtpd) on 127.0.0.80:25 and the sample page
#      scripts/demo/sample.html served over HTTP on 127.0.0.81:8080;
#   3. a configuration that sends to that server through mailwire.dll, and a page task
#      due every minute, written as the schedule component and the browser add-in write them;
#   4. tasqed.exe started under Xvfb; its first minute tick runs quillon.exe for the
#      task and delivers the message; the mail is printed as a pager would show it;
#   5. the scheduler is ended through its Exit command, and everything started here is
#      stopped and removed (trap EXIT).
#
# Environment: QUILLON_BUILD (default build/windows) is the windows preset's build tree.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${QUILLON_BUILD:-$root/build/windows}" && pwd)
bin="$build/bin"
control="$build/tests/tasqed_control.exe"
demo="$root/build/demo"
prefix="$demo/wineprefix"
maildir="$demo/maildir"
smtp_address=127.0.0.80
http_address=127.0.0.81
http_port=8080
page_url="http://$http_address:$http_port/sample.html"
wine_run=("$root/scripts/wine-run" --prefix "$prefix")
started=$(date +%s)

winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
say() { printf '[%3ds] %s\n' "$(( $(date +%s) - started ))" "$*"; }

for file in tasqed.exe tasqui.dll tasqen.dll quillon.exe mailwire.dll WEBFLAT.DLL; do
  [ -f "$bin/$file" ] || { echo "demo: $bin/$file is missing; build the windows preset first" >&2; exit 1; }
done
[ -f "$control" ] || { echo "demo: $control is missing; build the windows preset first" >&2; exit 1; }

smtp_started=""
http_pid=""
scheduler_pid=""
cleanup() {
  local status=$?
  [ -n "$scheduler_pid" ] && kill "$scheduler_pid" 2>/dev/null || true
  [ -n "$smtp_started" ] && /usr/bin/python3 "$root/tests/mail/wire/smtp_sink.py" stop --pidfile "$demo/smtp.pid" || true
  [ -n "$http_pid" ] && kill "$http_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  "${wine_run[@]}" --shutdown >/dev/null 2>&1 || true
  rm -rf "$demo"
  exit $status
}
trap cleanup EXIT

rm -rf "$demo"
mkdir -p "$demo"

say "Setting up a Wine prefix with the suite installed from ${bin#"$root"/}"
"${wine_run[@]}" regsvr32 /s "$(winpath "$bin/tasqui.dll")"

say "Starting the SMTP server on $smtp_address:25 and the web server on $http_address:$http_port"
/usr/bin/python3 "$root/tests/mail/wire/smtp_sink.py" start --host "$smtp_address" --port 25 --maildir "$maildir" \
    --pidfile "$demo/smtp.pid" --lifetime 170 || { echo "demo: the SMTP server did not start" >&2; exit 1; }
smtp_started=1
timeout 170 /usr/bin/python3 -m http.server "$http_port" --bind "$http_address" --directory "$root/scripts/demo" \
    </dev/null >"$demo/http.log" 2>&1 &
http_pid=$!
for _ in $(seq 1 100); do
  if (exec 3<>"/dev/tcp/$http_address/$http_port") 2>/dev/null; then
    break
  fi
  sleep 0.1
done

# The configuration as the configuration dialog writes it (an empty password scrambles
# to the empty text), and one page task due every minute: the component's values, then
# CommandLine (the key's own name) and Selection as the browser add-in adds them.
task=$(date +'%Y%m%d%H%M%S' | awk '{ printf "%4d%2d%2d%2d%2d%2d", substr($0,1,4), substr($0,5,2), substr($0,7,2), substr($0,9,2), substr($0,11,2), substr($0,13,2) }')
zero16="hex:00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00"
logfile=$(winpath "$demo/quillon.log")
cat > "$demo/demo.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Kestrova\\Tasqeduler\\Configuration]
"MailSystem"=dword:00000000
"MailLibrary"="mailwire.dll"
"SMTPServer"="$smtp_address"
"Profile"=""
"Password"=""
"Sender"="quillon@demo.test"
"Destination"="pager@demo.test"
"MaxMsgLen"="500"
"UsesDialup"=dword:00000001
"DialupName"=""
"Timeout"="5"
"POP3Authentication"=dword:00000000
"POP3Server"=""
"POP3Login"=""
"Logging"="${logfile//\\/\\\\}"
"ClipSubject"=dword:00000000
"RetryCount"=dword:00000001
"RetryTime"=dword:0000000f
"TaskRetryCount"=dword:00000001
"TaskRetryTime"=dword:0000000f
"DontDial"="1"

[HKEY_CURRENT_USER\\Software\\Kestrova\\Tasqeduler\\Tasks\\$task]
"NeedsInternet"=dword:00000001
"DisplayName"="Send text from $page_url"
"AppName"="quillon.exe"
"CommandLine"="$task"
"HasDates"=dword:00000000
"HasTimes"=dword:00000000
"NotWeekend"=dword:00000000
"Disabled"=dword:00000000
"StartDate"=$zero16
"EndDate"=$zero16
"LastRun"=$zero16
"TaskType"=dword:00000001
"Value"=dword:00000001
"Value2"=dword:00000000
"DaysOfWeek"=dword:0000007f
"MonthsOfYear"=dword:00000fff
"Timeout"=dword:000493e0
"Selection"="\\"$page_url\\""
"ChopMessage"=dword:00000001
REG
"${wine_run[@]}" reg import "$(winpath "$demo/demo.reg")" >/dev/null 2>&1
say "Configured: mailwire.dll to $smtp_address; task \"$task\" sends $page_url every minute"

say "Starting tasqed.exe (display $("${wine_run[@]}" --display))"
(cd "$demo" && exec "${wine_run[@]}" "$(winpath "$bin/tasqed.exe")") &
scheduler_pid=$!
"${wine_run[@]}" "$(winpath "$control")" wait 30 || { echo "demo: the scheduler did not start" >&2; exit 1; }
say "The scheduler runs in the notification area; waiting for its first minute tick"

for _ in $(seq 1 1200); do
  if [ -n "$(ls -A "$maildir/new" 2>/dev/null)" ]; then break; fi
  sleep 0.1
done
if [ -z "$(ls -A "$maildir/new" 2>/dev/null)" ]; then
  echo "demo: no mail arrived; the scheduler's log:" >&2
  cat "$demo/quillon.log" >&2 2>/dev/null || true
  exit 1
fi
sleep 0.5
say "Mail arrived at $smtp_address:25"
echo "----------------------------------------------------------------"
/usr/bin/python3 - "$maildir" <<'PY'
import mailbox, sys
for message in mailbox.Maildir(sys.argv[1], create=False):
    print("From:    " + str(message["From"]))
    print("To:      " + str(message["To"]))
    print("Subject: " + str(message["Subject"]))
    print()
    body = message.get_payload(decode=True) or b""
    print(body.decode("latin-1").replace("\r\n", "\n").strip())
    print("----------------------------------------------------------------")
PY
echo "The scheduler's log:"
sed "s/\r$//" "$demo/quillon.log" | grep -v -e "^$" -e "^MAILWIRE" | sed "s/^/  /"
echo "  ($(grep -c "^MAILWIRE" "$demo/quillon.log") lines of the SMTP dialogue written by mailwire.dll)"

say "Ending the scheduler through its Exit command"
"${wine_run[@]}" "$(winpath "$control")" exit 20
wait "$scheduler_pid" 2>/dev/null || true
scheduler_pid=""
say "Done"
