#!/usr/bin/python3
"""An SMTP server for the soak that refuses every seventh message (554), so the
scheduler's retries of messages are part of the run. Each accepted message's text is
appended to OUT as one line (line ends inside it turned into spaces).

  smtp_flaky.py ADDRESS OUT LIFETIME_SECONDS
"""
import socket
import sys
import threading
import time

address, out_path, lifetime = sys.argv[1], sys.argv[2], float(sys.argv[3])
count = [0]
lock = threading.Lock()


def handle(conn):
    try:
        conn.settimeout(60)
        f = conn.makefile("rb")
        conn.sendall(b"220 soak server\r\n")
        while True:
            line = f.readline(4096)
            if not line:
                return
            verb = line[:4].upper()
            if verb == b"DATA":
                conn.sendall(b"354 go ahead\r\n")
                data = b""
                while not data.endswith(b"\r\n.\r\n"):
                    chunk = f.readline(65536)
                    if not chunk:
                        return
                    data += chunk
                with lock:
                    count[0] += 1
                    refuse = count[0] % 7 == 0
                    if not refuse:
                        with open(out_path, "a", encoding="latin-1") as out:
                            out.write(data.decode("latin-1").replace("\r\n", " ") + "\n")
                conn.sendall(b"554 refused this time\r\n" if refuse else b"250 accepted\r\n")
            elif verb == b"QUIT":
                conn.sendall(b"221 bye\r\n")
                return
            else:
                conn.sendall(b"250 ok\r\n")
    except OSError:
        pass
    finally:
        conn.close()


listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((address, 25))
listener.listen(16)
listener.settimeout(0.5)
end = time.monotonic() + lifetime
while time.monotonic() < end:
    try:
        conn, _ = listener.accept()
    except socket.timeout:
        continue
    threading.Thread(target=handle, args=(conn,), daemon=True).start()
