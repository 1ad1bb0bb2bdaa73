#!/usr/bin/env bash
# Runs the installer's tests in a Wine prefix of their own, with the servers the
# installed suite talks to:
#   run_package.sh WINE_RUN PREFIX TEST_EXE WORK_DIR
# An SMTP server (Debian's aiosmtpd with /usr/bin/python3) on 127.0.0.200:25 stores mail
# in a maildir, and a web server on 127.0.0.201:8080 serves the page the task sends.
# Both are bounded by `timeout` and stopped at the end, and so are the prefix's
# wineserver and display: the installed scheduler must not outlive the test.
set -u
wine_run=$1 prefix=$2 test_exe=$3 work=$4
smtp=127.0.0.200
web=127.0.0.201
rm -rf "$work/maildir" "$work/site"
mkdir -p "$work/site"
cat >"$work/site/page.html" <<'PAGE'
<html><head><title>Installed Page</title></head>
<body><p>Installed page text for the pager.</p></body></html>
PAGE

timeout 300 /usr/bin/python3 -m aiosmtpd -n -l "$smtp:25" -c aiosmtpd.handlers.Mailbox "$work/maildir" \
    </dev/null >"$work/smtp.log" 2>&1 &
smtp_pid=$!
timeout 300 /usr/bin/python3 -m http.server --bind "$web" --directory "$work/site" 8080 \
    </dev/null >"$work/http.log" 2>&1 &
web_pid=$!
stop() {
  kill "$smtp_pid" "$web_pid" 2>/dev/null
  wait "$smtp_pid" "$web_pid" 2>/dev/null
  "$wine_run" --prefix "$prefix" --shutdown
}
trap stop EXIT

for address in "$smtp:25" "$web:8080"; do
  ready=0
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/${address%:*}/${address#*:}") 2>/dev/null; then ready=1; break; fi
    sleep 0.1
  done
  if [ $ready -ne 1 ]; then
    echo "run_package: the server on $address did not start" >&2
    cat "$work/smtp.log" "$work/http.log" >&2
    exit 1
  fi
done

QUILLON_E2E_MAILDIR="$work/maildir" QUILLON_PACKAGE_SMTP="$smtp" \
QUILLON_PACKAGE_PAGE="http://$web:8080/page.html" \
  "$wine_run" --prefix "$prefix" "$test_exe"
