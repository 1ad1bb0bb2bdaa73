#!/usr/bin/python3
"""The one way the tests, benchmarks and the demo start a real SMTP peer: Debian's
aiosmtpd on a loopback address. Run it with /usr/bin/python3 (the only Python that sees
aiosmtpd).

  smtp_sink.py start --host 127.0.0.40 --port 25 (--out FILE | --maildir DIR) --pidfile FILE
               [--lifetime S]
      starts the server in the background, waits until it accepts connections, exits 0
  smtp_sink.py stop --pidfile FILE
      stops it (by the process id it recorded) and waits for it to end
  smtp_sink.py serve ...   the server itself, in the foreground

With --out every received message is appended to FILE as one JSON line
{"mail_from": ..., "rcpt_tos": [...], "data": ...}; with --maildir it is stored in the
maildir DIR; with neither it is accepted and dropped. The server stops by itself after
--lifetime seconds (default 120), so a test run that dies cannot leave it behind.
"""
import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import time


def serve(args):
    from aiosmtpd.controller import Controller

    class Sink:
        async def handle_DATA(self, server, session, envelope):
            record = {
                "mail_from": envelope.mail_from,
                "rcpt_tos": envelope.rcpt_tos,
                "data": envelope.original_content.decode("latin-1"),
            }
            with open(args.out, "a", encoding="utf-8") as out:
                out.write(json.dumps(record) + "\n")
            return "250 Message accepted for delivery"

    if args.maildir:
        from aiosmtpd.handlers import Mailbox
        handler = Mailbox(args.maildir)
    elif args.out:
        handler = Sink()
    else:
        from aiosmtpd.handlers import Sink as Discard
        handler = Discard()
    controller = Controller(handler, hostname=args.host, port=args.port)
    controller.start()
    stop = {"now": False}
    signal.signal(signal.SIGTERM, lambda *_: stop.update(now=True))
    deadline = time.monotonic() + args.lifetime
    while not stop["now"] and time.monotonic() < deadline:
        time.sleep(0.1)
    controller.stop()


def accepting(host, port):
    try:
        with socket.create_connection((host, port), timeout=0.5) as s:
            s.recv(100)
        return True
    except OSError:
        return False


def start(args):
    command = [sys.executable, os.path.abspath(__file__), "serve", "--host", args.host, "--port", str(args.port),
               "--lifetime", str(args.lifetime)]
    if args.out:
        open(args.out, "w").close()
        command += ["--out", args.out]
    if args.maildir:
        command += ["--maildir", args.maildir]
    child = subprocess.Popen(
        command,
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    with open(args.pidfile, "w") as f:
        f.write(str(child.pid))
    for _ in range(100):
        if child.poll() is not None:
            print("smtp_sink: server exited with", child.returncode, file=sys.stderr)
            return 1
        if accepting(args.host, args.port):
            return 0
        time.sleep(0.1)
    print("smtp_sink: server did not start", file=sys.stderr)
    child.kill()
    return 1


def stop(args):
    try:
        with open(args.pidfile) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return 0
    for _ in range(50):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            break
        time.sleep(0.1)
    else:
        os.kill(pid, signal.SIGKILL)
    os.unlink(args.pidfile)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["start", "stop", "serve"])
    parser.add_argument("--host", default="127.0.0.40")
    parser.add_argument("--port", type=int, default=25)
    parser.add_argument("--out")
    parser.add_argument("--maildir")
    parser.add_argument("--pidfile")
    parser.add_argument("--lifetime", type=float, default=120)
    args = parser.parse_args()
    return {"start": start, "stop": stop, "serve": serve}[args.action](args) or 0


if __name__ == "__main__":
    sys.exit(main())
