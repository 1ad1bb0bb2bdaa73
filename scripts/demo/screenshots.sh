#!/usr/bin/env bash
# Pictures for the README: the six pages of the configuration dialog, the first page
# once more in German (tasqde.dll under a de-DE user locale) and the notification
# icon's menu, into docs/images/ (PNG). Run after building the windows
# preset; uses its own Wine prefix under build/screenshots and removes it afterwards.
#
# Environment: QUILLON_BUILD (default build/windows) is the windows preset's build tree.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${QUILLON_BUILD:-$root/build/windows}" && pwd)
work="$root/build/screenshots"
prefix="$work/wineprefix"
out="$root/docs/images"
wine_run=("$root/scripts/wine-run" --prefix "$prefix")
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }

scheduler_pid=""
cleanup() {
  [ -n "$scheduler_pid" ] && kill "$scheduler_pid" 2>/dev/null || true
  "${wine_run[@]}" --shutdown >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work" "$out"

"${wine_run[@]}" regsvr32 /s "$(winpath "$build/bin/tasqui.dll")"
cat > "$work/config.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Kestrova\Tasqeduler\Configuration]
"MailSystem"=dword:00000000
"MailLibrary"="mailwire.dll"
"SMTPServer"="mail.example.net"
"Profile"=""
"Password"=""
"Sender"="me@example.net"
"Destination"="5551234@pager.example.net"
"MaxMsgLen"="160"
"UsesDialup"=dword:00000001
"DialupName"=""
"Timeout"="5"
"POP3Authentication"=dword:00000001
"POP3Server"="mail.example.net"
"POP3Login"="me"
"Logging"="quillon.log"
"ClipSubject"=dword:00000000
"RetryCount"=dword:00000002
"RetryTime"=dword:0000000f
"TaskRetryCount"=dword:00000001
"TaskRetryTime"=dword:0000000f
"DontSend"="1"
"SMTPPort"=dword:0000024b
"SMTPSecurity"=dword:00000001
"SMTPLogin"="me@example.net"
"PushService"=dword:00000001
"PushServer"="https://ntfy.sh"
"PushTarget"="quillon-pager-5551234"
REG
"${wine_run[@]}" reg import "$(winpath "$work/config.reg")" >/dev/null 2>&1

# The dialog pictures itself page by page.
"${wine_run[@]}" "$(winpath "$build/tests/config_dialog_screens.exe")" "$(winpath "$work")" \
    "$(winpath "$build/bin/tasqen.dll")"
for n in 1 2 3 4 5 6; do
  convert "$work/config-$n.bmp" "$out/configuration-page-$n.png"
done

# The German Mail System page, as a user of a German Windows sees it. The de-DE locale
# is the one the language tests generate into the build tree.
mkdir -p "$work/de"
QUILLON_LANG=de_DE.UTF-8 LOCPATH="$build/locales" \
  "${wine_run[@]}" "$(winpath "$build/tests/config_dialog_screens.exe")" "$(winpath "$work/de")" \
    "$(winpath "$build/bin/tasqde.dll")"
convert "$work/de/config-1.bmp" "$out/configuration-page-1-de.png"

# The icon menu opens at the pointer, aligned right and bottom.
display=$("${wine_run[@]}" --display)
(cd "$work" && exec "${wine_run[@]}" "$(winpath "$build/bin/tasqed.exe")") &
scheduler_pid=$!
"${wine_run[@]}" "$(winpath "$build/tests/tasqed_control.exe")" wait 30
"${wine_run[@]}" "$(winpath "$build/tests/tasqed_control.exe")" menu
sleep 1
xwd -root -display "$display" -silent | convert xwd:- -crop 200x160+312+224 +repage "$out/tray-menu.png"
# "Watch a page..." (the menu closed first) opens its address dialog.
read -r x y w h < <("${wine_run[@]}" "$(winpath "$build/tests/tasqed_control.exe")" watch 20 | tr -d '\r')
sleep 1
xwd -root -display "$display" -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$out/watch-page.png"
"${wine_run[@]}" "$(winpath "$build/tests/tasqed_control.exe")" exit 20 || true
wait "$scheduler_pid" 2>/dev/null || true
scheduler_pid=""
ls -l "$out"
