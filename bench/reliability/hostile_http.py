#!/usr/bin/python3
"""The page sender against hostile web servers, under Wine.

Four servers on loopback, each on its own address, and one quillon.exe run per server
(all four at once, each with its own Wine prefix state in the registry being separate task
keys of one prefix):
  silent    accepts the connection and never answers
  trickle   answers the headers, then one byte of body every 20 s, forever
  huge      a 2 GB body: a page start, then white space without end (no text)
  redirect  every request redirected to the next address, in a loop
For each run: the wall time, the exit code (0 expected), what was queued (nothing
expected) and the peak resident memory of the quillon.exe process.

Usage: hostile_http.py BIN_DIR [PREFIX]   (BIN_DIR: build/windows/bin)
Prints one row per server; exits 1 when an outcome is not the expected one.
"""
import os
import socket
import subprocess
import sys
import threading
import time

BIN = os.path.abspath(sys.argv[1])
PREFIX = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "build/reliability/hostile-http-prefix")
ROOT = r"HKCU\Software\Kestrova\Tasqeduler"
STOP = threading.Event()
LIMIT_S = 240          # the scheduler's own limit for a page task is 300 s


def serve(address, handler):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, 8080))
    listener.listen(16)
    listener.settimeout(0.5)

    def loop():
        while not STOP.is_set():
            try:
                conn, _ = listener.accept()
            except socket.timeout:
                continue
            threading.Thread(target=handler, args=(conn,), daemon=True).start()
        listener.close()
    threading.Thread(target=loop, daemon=True).start()


def read_request(conn):
    conn.settimeout(10)
    data = b""
    try:
        while b"\r\n\r\n" not in data and len(data) < 65536:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    return data


def silent(conn):
    read_request(conn)
    while not STOP.wait(1):
        pass
    conn.close()


def trickle(conn):
    read_request(conn)
    try:
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n<p>")
        while not STOP.wait(20):
            conn.sendall(b"x")
    except OSError:
        pass
    conn.close()


def huge(conn):
    read_request(conn)
    size = 2 * 1024 ** 3
    try:
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % size)
        conn.sendall(b"<html><body>")
        block = b" " * 65536
        sent = 0
        while sent < size and not STOP.is_set():
            conn.sendall(block)
            sent += len(block)
    except OSError:
        pass
    conn.close()


def redirect(conn):
    request = read_request(conn)
    path = request.split(b" ")[1] if request.count(b" ") >= 2 else b"/0"
    try:
        n = int(path.strip(b"/") or b"0")
    except ValueError:
        n = 0
    try:
        conn.sendall(b"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.234:8080/%d\r\nContent-Length: 0\r\n\r\n" % ((n + 1) % 4))
    except OSError:
        pass
    conn.close()


CASES = [
    ("silent", "127.0.0.231", silent),
    ("trickle", "127.0.0.232", trickle),
    ("huge", "127.0.0.233", huge),
    ("redirect", "127.0.0.234", redirect),
]


def wine(*args, check=False, env=None):
    return subprocess.run(["wine"] + list(args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, env=env, check=check)


def reg_add(key, name, kind, data):
    wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f", check=True)


def queued():
    out = wine("reg", "query", ROOT + r"\Mail").stdout.decode(errors="replace")
    return [line for line in out.splitlines() if line.startswith("HKEY_")and line.strip() != "HKEY_CURRENT_USER" + ROOT[4:] + r"\Mail"]


def peak_rss_kb(pid, samples):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    samples.append(int(line.split()[1]))
    except OSError:
        pass


def main():
    os.environ["WINEPREFIX"] = PREFIX
    os.environ["WINEDEBUG"] = "-all"
    os.environ["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    os.makedirs(PREFIX, exist_ok=True)
    subprocess.run(["wineboot", "-i"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wine("reg", "delete", ROOT, "/f")
    stale_log = os.path.join(PREFIX, "drive_c", "hostile-http.log")
    if os.path.exists(stale_log):
        os.remove(stale_log)
    config = ROOT + r"\Configuration"
    reg_add(config, "MailSystem", "REG_DWORD", "0")
    reg_add(config, "Sender", "REG_SZ", "quillon@test")
    reg_add(config, "Destination", "REG_SZ", "pager@test")
    reg_add(config, "MaxMsgLen", "REG_SZ", "160")
    reg_add(config, "Logging", "REG_SZ", r"C:\hostile-http.log")
    for name, address, handler in CASES:
        serve(address, handler)
        task = ROOT + r"\Tasks\hostile-" + name
        reg_add(task, "Selection", "REG_SZ", '"http://%s:8080/0"' % address)

    results = {}

    def run(name):
        start = time.monotonic()
        proc = subprocess.Popen(["wine", os.path.join(BIN, "quillon.exe"), "hostile-" + name],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        samples = []
        rc = None
        while time.monotonic() - start < LIMIT_S:
            rc = proc.poll()
            if rc is not None:
                break
            # The Windows process runs in its own Linux process; sample every process
            # whose command line names this task.
            for pid in os.listdir("/proc"):
                if pid.isdigit():
                    try:
                        with open("/proc/%s/cmdline" % pid, "rb") as f:
                            if ("hostile-" + name).encode() in f.read():
                                peak_rss_kb(int(pid), samples)
                    except OSError:
                        pass
            time.sleep(0.5)
        if rc is None:
            proc.kill()
        results[name] = (time.monotonic() - start, rc, max(samples) if samples else 0)

    threads = [threading.Thread(target=run, args=(name,)) for name, _, _ in CASES]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    STOP.set()
    left = queued()
    log_path = os.path.join(PREFIX, "drive_c", "hostile-http.log")
    subprocess.run(["wineserver", "-k"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    ok = True
    print("%-10s %10s %10s %14s" % ("server", "seconds", "exit", "peak RSS MB"))
    for name, _, _ in CASES:
        seconds, rc, rss = results[name]
        print("%-10s %10.1f %10s %14.1f" % (name, seconds, "none" if rc is None else rc, rss / 1024.0))
        if rc != 0:
            ok = False
    print("queued messages after all runs: %d" % len(left))
    if os.path.exists(log_path):
        with open(log_path, "rb") as log:
            print("page sender's log:\n  " + log.read().decode(errors="replace").strip().replace("\r\n", "\n  "))
    if left:
        ok = False
    print("outcome: " + ("every run ended with exit 0 and nothing queued" if ok else "UNEXPECTED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
