#!/usr/bin/python3
"""The scheduler's real engine against hostile SMTP servers, under Wine.

For each server below, on its own loopback address and port 25: three messages are
queued, one tick of the scheduler's engine runs (engine_tick_child.exe: the configuration
from the registry, the registry queue and the real mailwire.dll) against the hostile
server, then the server turns into a good one, the retry time passes (the queued
RetryTime values are moved into the past) and a second tick runs.
  silent     accepts and never answers
  trickle    sends one byte every 20 s, never a whole line
  endless    sends a line without end, no LF
  dropdata   a good dialogue until DATA, then closes in the middle of the message
  refuse421  answers 421 to everything
  tarpit     every reply valid, sent one byte at a time, each reply complete after
             TARPIT_S seconds (28 by default, just inside mailwire's 30 s reply wait;
             --tarpit-seconds=N to change it), so only the message's 120 s deadline
             cuts the dialogue
Checked for each: the hostile tick ends within its bound (BOUND_S, or the message deadline
plus room for the tarpit) with the tick's own exit code, every message is still queued
afterwards, no message but the first has used a try when the server timed out, the good
server gets each message exactly once, and the queue is empty at the end.

With --tray the ticks are those of the real scheduler, tasqed.exe, running in the
notification area under Xvfb: per server it is started, a minute tick is set off
(tasqed_control tick), and tasqed_control answer is run again and again while the tick
works, each run measuring when the icon's window answers a mouse move; the good tick is
set off the same way, and the scheduler is ended with its "Exit" command. The row then
gives the longest answer and the seconds until the tick's last connection closed.

Usage: hostile_smtp.py [--tray] [--tarpit-seconds=N] [--only=NAME,...] [BUILD_DIR] [PREFIX]
(BUILD_DIR: build/windows). Run it inside a private network namespace, or where
127.0.0.151 to .155 and .160 port 25 are free.
Prints one row per server; exits 1 when an outcome is not the expected one.
"""
import os
import re
import select
import socket
import subprocess
import sys
import threading
import time

ARGS = [a for a in sys.argv[1:] if not a.startswith("--")]
TRAY = "--tray" in sys.argv[1:]
TARPIT_S = float(next((a.split("=", 1)[1] for a in sys.argv[1:] if a.startswith("--tarpit-seconds=")), "28"))
ONLY = next((a.split("=", 1)[1].split(",") for a in sys.argv[1:] if a.startswith("--only=")), None)
BUILD = os.path.abspath(ARGS[0] if len(ARGS) > 0 else "build/windows")
PREFIX = os.path.abspath(ARGS[1] if len(ARGS) > 1 else
                         "build/reliability/hostile-smtp-%sprefix" % ("tray-" if TRAY else ""))
BIN = os.path.join(BUILD, "bin")
TICK = os.path.join(BUILD, "tests", "engine_tick_child.exe")
CONTROL = os.path.join(BUILD, "tests", "tasqed_control.exe")
WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-run")
ROOT = r"HKEY_CURRENT_USER\Software\Kestrova\Tasqeduler"
STOP = threading.Event()
BOUND_S = 45          # one reply wait of mailwire (30 s) and Wine's start, with room
TARPIT_BOUND_S = 140  # mailwire's message deadline (120 s), the connection and Wine's start
ANSWER_S = 3.0        # the icon's window answers within this (tasqed_control's start included)
TICK_EXIT = 7         # engine_tick_child's code after a whole tick
MESSAGES = 3

good = {}             # address -> True once the server behaves
connections = {}      # address -> connections accepted so far
active = {}           # address -> connections open now
last_closed = {}      # address -> monotonic time the last connection closed
received = {}         # address -> list of message texts the good server accepted
hostile_data = {}     # address -> bytes of message data the hostile server was sent


def good_dialogue(conn, address):
    f = conn.makefile("rb")

    def say(text):
        conn.sendall(text.encode())

    say("220 good server ready\r\n")
    while True:
        line = f.readline(4096)
        if not line:
            return
        verb = line[:4].upper()
        if verb == b"DATA":
            say("354 go ahead\r\n")
            data = b""
            while not data.endswith(b"\r\n.\r\n"):
                chunk = f.readline(65536)
                if not chunk:
                    return
                data += chunk
            received.setdefault(address, []).append(data.decode("latin-1"))
            say("250 accepted\r\n")
        elif verb == b"QUIT":
            say("221 bye\r\n")
            return
        else:
            say("250 ok\r\n")


def peer_closed(conn, seconds):
    """Waits up to `seconds`; True when the client has closed its end meanwhile."""
    ready, _, _ = select.select([conn], [], [], seconds)
    if not ready:
        return False
    try:
        return conn.recv(4096, socket.MSG_PEEK) == b""
    except OSError:
        return True


def silent(conn, address):
    while not STOP.is_set() and not good[address] and not peer_closed(conn, 1):
        pass


def trickle(conn, address):
    for byte in b"220 slow":
        for _ in range(20):
            if STOP.is_set() or good[address] or peer_closed(conn, 1):
                return
        conn.sendall(bytes([byte]))


def tarpit(conn, address):
    """Every reply valid, one byte at a time, each complete after TARPIT_S seconds."""
    f = conn.makefile("rb")

    def say(text):
        step = TARPIT_S / len(text)
        for byte in text.encode():
            if STOP.wait(step) or peer_closed(conn, 0):
                raise OSError("client gone")
            conn.sendall(bytes([byte]))

    say("220 tarpit ready\r\n")
    while True:
        line = f.readline(4096)
        if not line:
            return
        verb = line[:4].upper()
        if verb == b"DATA":
            say("354 go ahead\r\n")
            while f.readline(65536) not in (b".\r\n", b""):
                pass
            say("250 taken, but too late\r\n")
        elif verb == b"QUIT":
            say("221 bye\r\n")
            return
        else:
            say("250 ok\r\n")


def endless(conn, address):
    block = b"2" * 65536
    deadline = time.monotonic() + 120
    while not STOP.is_set() and time.monotonic() < deadline:
        conn.sendall(block)


def dropdata(conn, address):
    f = conn.makefile("rb")
    conn.sendall(b"220 ready\r\n")
    while True:
        line = f.readline(4096)
        if not line:
            return
        if line[:4].upper() == b"DATA":
            conn.sendall(b"354 go ahead\r\n")
            hostile_data[address] = hostile_data.get(address, 0) + len(f.readline(4096))
            return          # closes in the middle of the message
        conn.sendall(b"250 ok\r\n")


def refuse421(conn, address):
    f = conn.makefile("rb")
    conn.sendall(b"421 closing, try later\r\n")
    while f.readline(4096):
        conn.sendall(b"421 closing, try later\r\n")


CASES = [
    ("silent", "127.0.0.151", silent),
    ("trickle", "127.0.0.152", trickle),
    ("endless", "127.0.0.153", endless),
    ("dropdata", "127.0.0.154", dropdata),
    ("refuse421", "127.0.0.155", refuse421),
    ("tarpit", "127.0.0.160", tarpit),
]
if ONLY:
    CASES = [c for c in CASES if c[0] in ONLY]


def serve(address, hostile):
    good[address] = False
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, 25))
    listener.listen(16)
    listener.settimeout(0.5)

    def handle(conn):
        try:
            conn.settimeout(150)
            if good[address]:
                good_dialogue(conn, address)
            else:
                hostile(conn, address)
        except OSError:
            pass
        finally:
            conn.close()
            last_closed[address] = time.monotonic()
            active[address] -= 1

    def loop():
        while not STOP.is_set():
            try:
                conn, _ = listener.accept()
            except socket.timeout:
                continue
            connections[address] = connections.get(address, 0) + 1
            active[address] = active.get(address, 0) + 1
            threading.Thread(target=handle, args=(conn,), daemon=True).start()
        listener.close()
    threading.Thread(target=loop, daemon=True).start()


def wine(*args, cwd=None):
    return subprocess.run(["wine"] + list(args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, cwd=cwd)


def systemtime_hex(year, second):
    fields = [year, 1, 3, 1, 0, 0, second, 0]     # 1 January, a Wednesday in 2020
    return ",".join("%02x,%02x" % (v & 0xFF, v >> 8) for v in fields)


def import_reg(lines):
    path = os.path.join(PREFIX, "drive_c", "hostile-smtp.reg")
    with open(path, "w", encoding="latin-1", newline="\r\n") as f:
        f.write("REGEDIT4\n\n" + "\n".join(lines) + "\n")
    wine("regedit", "/S", r"C:\hostile-smtp.reg")


def setup(name, address):
    wine("reg", "delete", ROOT, "/f")
    config = [
        "[%s\\Configuration]" % ROOT,
        '"MailSystem"=dword:00000000', '"MailLibrary"="mailwire.dll"', '"SMTPServer"="%s"' % address,
        '"Sender"="scheduler@example.org"', '"Destination"="pager@example.org"', '"MaxMsgLen"="160"',
        '"UsesDialup"=dword:00000000', '"DialupName"=""', '"Timeout"="5"', '"POP3Authentication"=dword:00000000',
        '"Logging"="C:\\\\hostile-smtp-%s.log"' % name, '"ClipSubject"=dword:00000000',
        '"RetryCount"=dword:00000005', '"RetryTime"=dword:0000000f',
        '"TaskRetryCount"=dword:00000001', '"TaskRetryTime"=dword:0000000f', "",
    ]
    for i in range(MESSAGES):
        key = "2020 1 1 0 0%2d" % i
        config += ["[%s\\Mail\\%s]" % (ROOT, key), '"RetryCount"=dword:00000000',
                   '"RetryTime"=hex:%s' % systemtime_hex(2020, i), '"Subject"="hostile %s"' % name,
                   '"Body"="[%s-%d] must arrive once"' % (name, i), ""]
    import_reg(config)


def queue_state():
    """(keys, retry counts) of the Mail key."""
    out = wine("reg", "query", ROOT + r"\Mail", "/s").stdout.decode(errors="replace")
    keys = [l for l in out.splitlines() if l.startswith("HKEY_") and l.rstrip() != ROOT + r"\Mail"]
    counts = [int(m.group(1), 16) for m in re.finditer(r"RetryCount\s+REG_DWORD\s+0x([0-9a-fA-F]+)", out)]
    return keys, counts


def make_due():
    keys, _ = queue_state()
    lines = []
    for i, key in enumerate(keys):
        lines += ["[%s]" % key, '"RetryTime"=hex:%s' % systemtime_hex(2020, i), ""]
    import_reg(lines)


def tick():
    start = time.monotonic()
    rc = wine(TICK, cwd=BIN).returncode
    return time.monotonic() - start, rc


class Tray:
    """The real scheduler in the notification area, for one server."""

    def __init__(self):
        self.process = subprocess.Popen(["wine", os.path.join(BIN, "tasqed.exe")], cwd=BIN,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.running = wine(CONTROL, "wait", "60").returncode == 0

    def tick(self, address=None, wait_until_empty=False):
        """Sets off a minute tick and keeps asking the icon's window while it works;
        (seconds until the tick's connections closed, longest answer in seconds, 0 or the
        failure code)."""
        before = connections.get(address, 0)
        start = time.monotonic()
        rc = wine(CONTROL, "tick").returncode
        # The tick has begun once the server sees the connection (or the queue emptied).
        while time.monotonic() - start < 20:
            if connections.get(address, 0) > before or (wait_until_empty and not queue_state()[0]):
                break
            time.sleep(0.1)
        longest = 0.0
        while True:
            asked = time.monotonic()
            answer = wine(CONTROL, "answer", "300")
            longest = max(longest, time.monotonic() - asked)
            rc = rc or answer.returncode
            if active.get(address, 0) == 0 or time.monotonic() - start > 300:
                break
        seconds = (last_closed.get(address, start) - start) if connections.get(address, 0) > before else 0.0
        if wait_until_empty:
            while queue_state()[0] and time.monotonic() - start < 60:
                time.sleep(0.5)
        return max(seconds, 0.0), longest, rc

    def end(self):
        rc = wine(CONTROL, "exit", "30").returncode
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            rc = rc or 1
        return rc


def main():
    os.environ["WINEPREFIX"] = PREFIX
    os.environ["WINEDEBUG"] = "-all"
    os.environ["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    os.makedirs(PREFIX, exist_ok=True)
    if TRAY:
        # wine-run prepares the prefix and its Xvfb display; tasqui.dll is registered there.
        display = subprocess.run([WINE_RUN, "--prefix", PREFIX, "--display"], stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode().strip()
        os.environ["DISPLAY"] = display
        wine("regsvr32", "/s", os.path.join(BIN, "tasqui.dll"))
    else:
        subprocess.run(["wineboot", "-i"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    for _, address, handler in CASES:
        serve(address, handler)
    ok = True
    print("%-10s %8s %9s %6s %14s %16s %6s %10s" % ("server", "tick s", "answer s" if TRAY else "", "exit",
                                                     "queued after", "retry counts", "good s", "delivered"))
    expected_exit = 0 if TRAY else TICK_EXIT
    for name, address, _ in CASES:
        setup(name, address)
        tray = Tray() if TRAY else None
        if tray is not None and not tray.running:
            print("%-10s the scheduler's window did not appear  UNEXPECTED" % name)
            ok = False
            tray.end()
            continue
        if tray:
            seconds, longest, rc = tray.tick(address)
        else:
            (seconds, rc), longest = tick(), 0.0
        keys, counts = queue_state()
        good[address] = True
        make_due()
        if tray:
            good_seconds, _, good_rc = tray.tick(address, wait_until_empty=True)
        else:
            good_seconds, good_rc = tick()
        if tray is not None:
            good_rc = good_rc or tray.end()
        left, _ = queue_state()
        texts = received.get(address, [])
        per_message = [sum(1 for t in texts if "[%s-%d]" % (name, i) in t) for i in range(MESSAGES)]
        bound = TARPIT_BOUND_S if name == "tarpit" else BOUND_S
        # A server that timed out (or overran the deadline) costs the first message its
        # try; the later ones are not attempted and keep theirs.
        timed_out = name in ("silent", "trickle", "endless", "tarpit")
        expected_counts = [1] + [0] * (MESSAGES - 1) if timed_out else [1] * MESSAGES
        row_ok = (seconds < bound and rc == expected_exit and len(keys) == MESSAGES and good_rc == expected_exit
                  and not left and per_message == [1] * MESSAGES and counts == expected_counts
                  and (not TRAY or longest < ANSWER_S))
        ok = ok and row_ok
        print("%-10s %8.1f %9s %6d %14d %16s %6.1f %10s%s" % (
            name, seconds, "%.1f" % longest if TRAY else "", rc, len(keys), counts, good_seconds, per_message,
            "" if row_ok else "  UNEXPECTED"))
        log = os.path.join(PREFIX, "drive_c", "hostile-smtp-%s.log" % name)
        if os.path.exists(log):
            with open(log, "rb") as f:
                text = f.read().decode(errors="replace")
            errors = sorted(set(re.findall(r"MAILWIRE [a-zA-Z0-9 ]+ error \d+", text)))
            print("           log: %s" % ("; ".join(errors) if errors else "no MAILWIRE error lines"))
    STOP.set()
    if TRAY:
        subprocess.run([WINE_RUN, "--prefix", PREFIX, "--shutdown"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    else:
        subprocess.run(["wineserver", "-k"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    print("outcome: " + ("every hostile tick ended in time, nothing lost, nothing sent twice" if ok else "UNEXPECTED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
