#!/usr/bin/python3
"""A real mail system on one loopback address for the mailwire delivery tests: Debian's
Postfix (an instance of its own, configuration directory in DIR) delivering to a Maildir,
and Debian's Dovecot serving that Maildir over POP3 and signing Postfix's clients in.
Run as root with /usr/bin/python3, inside a private network namespace.

  mail_system.py start --dir DIR [--host H] [--lifetime S]
      writes the configuration, the test authority DIR/tls/ca.der and the server
      certificate, starts Dovecot and Postfix, waits until every port accepts, exits 0;
      both stop by themselves after S seconds (a watchdog), or at "stop"
  mail_system.py stop --dir DIR
  mail_system.py fetch --dir DIR [--host H] [--delete]
      reads every message of the test mailbox back over POP3 and prints one JSON list:
      [{"subject": ..., "body": ..., "headers": {...}, "raw": ...}], each message
      parsed by Python's email package as a mail program would

Services on H (default 127.0.0.190), user "pager" with password "Pa55 w0rd!":
  25   SMTP, no sign-in, final destination for @pager.test
  587  submission: STARTTLS required, then sign-in required (Dovecot SASL)
  465  submissions: TLS from the first byte, sign-in required
  110  POP3 (plain text log-in), the mailbox of pager@pager.test
The system's own Postfix and Dovecot configurations are not read or changed.
"""
import argparse
import email
import email.policy
import json
import os
import poplib
import pwd
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tls_peer  # noqa: E402  (the test authority and certificates)

USER = "pager"
PASSWORD = "Pa55 w0rd!"
DOMAIN = "pager.test"
MAIL_UID = 65534   # "nobody": owns the Maildir; Postfix's virtual agent and Dovecot use it
PORTS = (25, 587, 465, 110)


def paths(directory):
    d = os.path.abspath(directory)
    return {
        "dir": d,
        "postfix": os.path.join(d, "postfix"),
        "queue": os.path.join(d, "queue"),
        "data": os.path.join(d, "data"),
        "mail": os.path.join(d, "mail"),
        "dovecot": os.path.join(d, "dovecot"),
        "run": os.path.join(d, "dovecot", "run"),
        "tls": os.path.join(d, "tls"),
    }


def write(path, text, mode=0o644):
    with open(path, "w") as out:
        out.write(text)
    os.chmod(path, mode)


def configure(p, host):
    for key in ("postfix", "queue", "data", "dovecot", "run", "tls"):
        os.makedirs(p[key], exist_ok=True)
    os.makedirs(p["mail"], exist_ok=True)
    postfix_user = pwd.getpwnam("postfix")
    os.chown(p["data"], postfix_user.pw_uid, postfix_user.pw_gid)
    os.chown(p["mail"], MAIL_UID, MAIL_UID)
    os.chmod(p["mail"], 0o755)

    authority = tls_peer.make_authority("Quillon Test Authority")
    tls_peer.write_authority_der(os.path.join(p["tls"], "ca.der"), authority)
    chain = os.path.join(p["tls"], "server.pem")
    tls_peer.write_server_certificate(chain, authority, [host, "mail." + DOMAIN], key_first=True)
    os.chmod(chain, 0o600)

    sasl_socket = os.path.join(p["run"], "auth-postfix")
    write(os.path.join(p["postfix"], "main.cf"), f"""\
compatibility_level = 3.6
config_directory = {p["postfix"]}
queue_directory = {p["queue"]}
data_directory = {p["data"]}
mail_owner = postfix
setgid_group = postdrop
myhostname = mail.{DOMAIN}
mydomain = {DOMAIN}
myorigin = $myhostname
mydestination =
inet_interfaces = all
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
recipient_delimiter = +
smtp_dns_support_level = disabled
smtpd_peername_lookup = no
biff = no
maillog_file_prefixes = {p["dir"]}
maillog_file = {p["dir"]}/postfix.log
virtual_mailbox_domains = {DOMAIN}
virtual_mailbox_base = {p["mail"]}
virtual_mailbox_maps = texthash:{p["postfix"]}/mailboxes
virtual_uid_maps = static:{MAIL_UID}
virtual_gid_maps = static:{MAIL_UID}
virtual_minimum_uid = 100
message_size_limit = 10240000
smtpd_relay_restrictions = permit_mynetworks, permit_sasl_authenticated, reject_unauth_destination
smtpd_tls_chain_files = {chain}
smtpd_sasl_type = dovecot
smtpd_sasl_path = {sasl_socket}
smtpd_sasl_auth_enable = no
smtpd_tls_security_level = none
""")
    write(os.path.join(p["postfix"], "mailboxes"), f"{USER}@{DOMAIN} {USER}/\n")
    signed_in = ("-o smtpd_sasl_auth_enable=yes -o smtpd_tls_auth_only=yes "
                 "-o smtpd_client_restrictions=permit_sasl_authenticated,reject "
                 "-o smtpd_relay_restrictions=permit_sasl_authenticated,reject")
    # Every service is bound by address: Postfix checks that inet_interfaces names a
    # configured interface address, which an extra loopback address is not.
    write(os.path.join(p["postfix"], "master.cf"), f"""\
{host}:smtp      inet n - n - - smtpd
{host}:submission inet n - n - - smtpd -o smtpd_tls_security_level=encrypt {signed_in}
{host}:submissions inet n - n - - smtpd -o smtpd_tls_wrappermode=yes {signed_in}
pickup    unix n - n 60 1 pickup
cleanup   unix n - n - 0 cleanup
qmgr      unix n - n 300 1 qmgr
tlsmgr    unix - - n 1000? 1 tlsmgr
rewrite   unix - - n - - trivial-rewrite
bounce    unix - - n - 0 bounce
defer     unix - - n - 0 bounce
trace     unix - - n - 0 bounce
verify    unix - - n - 1 verify
flush     unix n - n 1000? 0 flush
proxymap  unix - - n - - proxymap
smtp      unix - - n - - smtp
relay     unix - - n - - smtp
showq     unix n - n - - showq
error     unix - - n - - error
retry     unix - - n - - error
discard   unix - - n - - discard
local     unix - n n - - local
virtual   unix - n n - - virtual
lmtp      unix - - n - - lmtp
anvil     unix - - n - 1 anvil
scache    unix - - n - 1 scache
postlog   unix-dgram n - n - 1 postlogd
""")
    write(os.path.join(p["dovecot"], "users"), f"{USER}:{{PLAIN}}{PASSWORD}::::::\n")
    write(os.path.join(p["dovecot"], "dovecot.conf"), f"""\
protocols = pop3
listen = {host}
base_dir = {p["run"]}
state_dir = {p["dovecot"]}/state
log_path = {p["dir"]}/dovecot.log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
mail_location = maildir:{p["mail"]}/%n
pop3_uidl_format = %08Xu%08Xv
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%n {p["dovecot"]}/users
}}
userdb {{
  driver = static
  args = uid={MAIL_UID} gid={MAIL_UID} home={p["mail"]}/%n
}}
service pop3-login {{
  inet_listener pop3 {{
    address = {host}
    port = 110
  }}
}}
service auth {{
  unix_listener auth-postfix {{
    mode = 0666
  }}
}}
""")


def run_daemon_command(p, command):
    """Runs a start or stop command whose daemon keeps the descriptors it inherited: its
    output goes to a file, never to a pipe the caller would wait on."""
    with open(os.path.join(p["dir"], "commands.log"), "a") as log:
        log.write("$ " + " ".join(command) + "\n")
        log.flush()
        return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log).returncode


def postfix(p, *command):
    # postfix writes its messages to standard error only when that is a terminal: script(1)
    # gives it one, so a refusal reaches the commands log.
    line = " ".join(["/usr/sbin/postfix", "-c", p["postfix"], *command])
    return run_daemon_command(p, ["/usr/bin/script", "-qec", line, "/dev/null"])


def stop_all(p):
    if not os.path.isdir(p["dir"]):
        return
    postfix(p, "stop")
    pid_file = os.path.join(p["run"], "master.pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read().strip())
        os.kill(pid, signal.SIGTERM)
        for _ in range(50):
            os.kill(pid, 0)
            time.sleep(0.1)
    except (OSError, ValueError):
        pass
    watchdog = os.path.join(p["dir"], "watchdog.pid")
    try:
        with open(watchdog) as f:
            pid = int(f.read().strip())
        os.unlink(watchdog)
        if pid != os.getpid():
            os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError):
        pass


def start(args):
    p = paths(args.dir)
    os.makedirs(p["dir"], exist_ok=True)
    stop_all(p)   # a previous run that was cut short
    for key in ("queue", "data", "mail", "run"):
        shutil.rmtree(p[key], ignore_errors=True)
    configure(p, args.host)
    for log in ("postfix.log", "dovecot.log", "commands.log"):
        open(os.path.join(p["dir"], log), "w").close()
    commands = os.path.join(p["dir"], "commands.log")
    if run_daemon_command(p, ["/usr/sbin/dovecot", "-c", os.path.join(p["dovecot"], "dovecot.conf")]) != 0:
        print("mail_system: dovecot did not start; see", commands, file=sys.stderr)
        return 1
    if postfix(p, "start") != 0:
        print("mail_system: postfix did not start; see", commands, file=sys.stderr)
        stop_all(p)
        return 1
    # The watchdog stops both after the lifetime even when the test never says "stop".
    watchdog = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "watchdog", "--dir", p["dir"], "--lifetime", str(args.lifetime)],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    write(os.path.join(p["dir"], "watchdog.pid"), str(watchdog.pid))
    for _ in range(150):
        if all(tls_peer.accepting(args.host, port) for port in PORTS):
            return 0
        time.sleep(0.1)
    print("mail_system: services did not start; see", p["dir"], file=sys.stderr)
    stop_all(p)
    return 1


def watchdog(args):
    stop = {"now": False}
    signal.signal(signal.SIGTERM, lambda *_: stop.update(now=True))
    deadline = time.monotonic() + args.lifetime
    while not stop["now"] and time.monotonic() < deadline:
        time.sleep(0.2)
    if not stop["now"]:
        stop_all(paths(args.dir))
    return 0


def stop(args):
    stop_all(paths(args.dir))
    return 0


def body_text(message):
    part = message.get_body(preferencelist=("plain",)) if message.is_multipart() else message
    return part.get_content()


def fetch(args):
    pop = poplib.POP3(args.host, 110, timeout=20)
    try:
        pop.user(USER)
        pop.pass_(PASSWORD)
        count, _ = pop.stat()
        messages = []
        for number in range(1, count + 1):
            _, lines, _ = pop.retr(number)
            raw = b"\n".join(lines) + b"\n"
            message = email.message_from_bytes(raw, policy=email.policy.default)
            messages.append({
                "subject": str(message.get("Subject", "")),
                "body": body_text(message),
                "headers": {k: str(v) for k, v in message.items()},
                "defects": [type(d).__name__ for d in message.defects],
                "raw": raw.decode("latin-1"),
            })
            if args.delete:
                pop.dele(number)
    finally:
        pop.quit()
    json.dump(messages, sys.stdout)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["start", "stop", "fetch", "watchdog"])
    parser.add_argument("--dir", required=True)
    parser.add_argument("--host", default="127.0.0.190")
    parser.add_argument("--lifetime", type=float, default=180)
    parser.add_argument("--delete", action="store_true")
    args = parser.parse_args()
    return {"start": start, "stop": stop, "fetch": fetch, "watchdog": watchdog}[args.action](args) or 0


if __name__ == "__main__":
    sys.exit(main())
