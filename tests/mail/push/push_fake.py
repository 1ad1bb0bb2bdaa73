#!/usr/bin/python3
"""Loopback HTTPS doubles of the seven push services for the mailpush tests, with
certificates made at test time by Debian's python3-cryptography. Run with /usr/bin/python3.

  push_fake.py start --dir DIR --pidfile FILE [--lifetime S]
      makes DIR/ca.der (the test authority the prefix is told to trust) and the server
      certificates, starts the servers in the background, waits until all accept, exits 0
  push_fake.py stop --pidfile FILE
  push_fake.py serve --dir DIR ...   the servers themselves, in the foreground

Every server listens on 127.0.0.201 and checks each request exactly as its service
documents it: the method, the path, the headers, the body's shape and its length limit.
A request of the wrong shape is answered 400 with the service's own error shape and
the complaint is recorded. A message text containing "#401", "#403", "#404", "#429" or
"#500" is answered with that status in the service's error shape (429 with a Retry-After
of 7 seconds, in the header or the body as the service does it).

  8441 ntfy            POST / (JSON publish), token tk_QuillonNtfyToken (optional)
  8442 Telegram        POST /bot123456:QuillonBotToken/sendMessage
  8443 Discord         POST /api/webhooks/4242/QuillonDiscordSecret?wait=true
  8444 Slack           POST /services/T0/B0/QuillonSlackSecret
  8445 Gotify          POST /message, X-Gotify-Key AQuillonGotifyKey
  8446 Pushover        POST /1/messages.json, token aQuillonPushoverToken, user uQuillonUserKey
  8447 JSON webhook    POST /hooks/QuillonJsonSecret
  8450 silent          takes the request, never answers
  8451 trickling       answers one byte every half second, without end
  8452 ntfy with a certificate from an authority nobody trusts
  8453 ntfy over plain http (a self-hosted server typed as http://)

Each request goes to DIR/received.jsonl as one JSON line:
{"service", "port", "time", "method", "path", "headers" (names in lower case), "body",
 "fields" (the parsed JSON or form), "status" (as answered), "shape_errors" [...]}.
"""
import argparse
import datetime
import http.server
import ipaddress
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

HOST = "127.0.0.201"
NTFY_TOKEN = "tk_QuillonNtfyToken"
BOT_TOKEN = "123456:QuillonBotToken"
DISCORD_PATH = "/api/webhooks/4242/QuillonDiscordSecret"
SLACK_PATH = "/services/T0/B0/QuillonSlackSecret"
GOTIFY_KEY = "AQuillonGotifyKey"
PUSHOVER_TOKEN = "aQuillonPushoverToken"
PUSHOVER_USER = "uQuillonUserKey"
JSON_PATH = "/hooks/QuillonJsonSecret"

SERVICES = {8441: "ntfy", 8442: "telegram", 8443: "discord", 8444: "slack", 8445: "gotify", 8446: "pushover",
            8447: "json", 8452: "ntfy", 8453: "ntfy"}
SILENT, TRICKLING, UNTRUSTED, PLAIN = 8450, 8451, 8452, 8453
ALL_PORTS = sorted(list(SERVICES) + [SILENT, TRICKLING])


def make_certificates(directory):
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
    from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

    now = datetime.datetime.now(datetime.timezone.utc)

    def name(common):
        return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)])

    # Wine's crypt32 refuses an ECDSA signature whose r or s has a leading zero byte
    # (see tests/mail/wire/tls_peer.py): sign again until both take their full length.
    def signed(builder, key):
        while True:
            cert = builder.sign(key, hashes.SHA256())
            r, s = decode_dss_signature(cert.signature)
            if r >> 248 and s >> 248:
                return cert

    def authority(common):
        key = ec.generate_private_key(ec.SECP256R1())
        builder = (x509.CertificateBuilder().subject_name(name(common)).issuer_name(name(common))
                   .public_key(key.public_key()).serial_number(x509.random_serial_number())
                   .not_valid_before(now - datetime.timedelta(days=1))
                   .not_valid_after(now + datetime.timedelta(days=30))
                   .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
                   .add_extension(x509.KeyUsage(digital_signature=True, content_commitment=False,
                                                key_encipherment=False, data_encipherment=False,
                                                key_agreement=False, key_cert_sign=True, crl_sign=True,
                                                encipher_only=False, decipher_only=False), critical=True))
        return key, signed(builder, key)

    def server(file, issuer):
        issuer_key, issuer_cert = issuer
        key = ec.generate_private_key(ec.SECP256R1())
        alternatives = [x509.DNSName(HOST), x509.IPAddress(ipaddress.ip_address(HOST))]
        builder = (x509.CertificateBuilder().subject_name(name(HOST)).issuer_name(issuer_cert.subject)
                   .public_key(key.public_key()).serial_number(x509.random_serial_number())
                   .not_valid_before(now - datetime.timedelta(days=1))
                   .not_valid_after(now + datetime.timedelta(days=30))
                   .add_extension(x509.SubjectAlternativeName(alternatives), critical=False)
                   .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False))
        cert = signed(builder, issuer_key)
        with open(os.path.join(directory, file + ".pem"), "wb") as out:
            out.write(cert.public_bytes(serialization.Encoding.PEM))
            out.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                        serialization.NoEncryption()))

    trusted = authority("Quillon Push Test Authority")
    stranger = authority("Unknown Push Test Authority")
    with open(os.path.join(directory, "ca.der"), "wb") as out:
        out.write(trusted[1].public_bytes(serialization.Encoding.DER))
    server("good", trusted)
    server("stranger", stranger)


def utf16_units(text):
    return len(text.encode("utf-16-le")) // 2


class Judge:
    """What one service expects and how it answers."""

    def __init__(self, service):
        self.service = service

    def check(self, method, path, headers, body):
        errors = []
        fields = None
        if method != "POST":
            errors.append("method " + method)
        ctype = headers.get("content-type", "")
        s = self.service
        expected_path = {"ntfy": "/", "telegram": "/bot%s/sendMessage" % BOT_TOKEN,
                         "discord": DISCORD_PATH + "?wait=true", "slack": SLACK_PATH, "gotify": "/message",
                         "pushover": "/1/messages.json", "json": JSON_PATH}[s]
        if path != expected_path:
            errors.append("path " + path)
        if s == "pushover":
            if ctype != "application/x-www-form-urlencoded":
                errors.append("content-type " + ctype)
            try:
                pairs = urllib.parse.parse_qsl(body.decode("ascii"), keep_blank_values=True, strict_parsing=True)
                fields = dict(pairs)
                if len(fields) != len(pairs):
                    errors.append("repeated field")
            except (UnicodeDecodeError, ValueError) as e:
                errors.append("form: %s" % e)
                fields = {}
        else:
            if ctype != "application/json":
                errors.append("content-type " + ctype)
            try:
                fields = json.loads(body.decode("utf-8"))
            except (UnicodeDecodeError, ValueError) as e:
                errors.append("json: %s" % e)
                fields = {}
            if not isinstance(fields, dict):
                errors.append("json is not an object")
                fields = {}
        required, optional = {
            "ntfy": ({"topic", "message"}, {"title"}),
            "telegram": ({"chat_id", "text"}, set()),
            "discord": ({"content", "allowed_mentions"}, set()),
            "slack": ({"text"}, set()),
            "gotify": ({"message"}, {"title"}),
            "pushover": ({"token", "user", "message"}, {"title"}),
            "json": ({"title", "message"}, set()),
        }[s]
        keys = set(fields)
        if not required <= keys:
            errors.append("missing " + ",".join(sorted(required - keys)))
        if keys - required - optional:
            errors.append("unexpected " + ",".join(sorted(keys - required - optional)))
        for k in keys & (required | optional):
            if k != "allowed_mentions" and not isinstance(fields[k], str):
                errors.append(k + " is not a string")
        auth = headers.get("authorization")
        if s == "ntfy" and auth is not None and auth != "Bearer " + NTFY_TOKEN:
            return fields, errors, (401, {"code": 40101, "http": 401, "error": "unauthorized"})
        if s == "ntfy" and fields.get("topic") == "protected" and auth is None:
            return fields, errors, (403, {"code": 40301, "http": 403, "error": "forbidden"})
        if s == "discord" and fields.get("allowed_mentions") != {"parse": []}:
            errors.append("allowed_mentions %r" % fields.get("allowed_mentions"))
        if s == "gotify" and headers.get("x-gotify-key") != GOTIFY_KEY:
            return fields, errors, (401, {"error": "Unauthorized", "errorCode": 401,
                                          "errorDescription": "you need to provide a valid access token or user "
                                                              "credentials to access this api"})
        if s == "pushover" and fields.get("token") != PUSHOVER_TOKEN:
            return fields, errors, (400, {"token": "invalid", "errors": ["application token is invalid"],
                                          "status": 0, "request": "r1"})
        if s == "pushover" and fields.get("user") != PUSHOVER_USER:
            return fields, errors, (400, {"user": "invalid", "errors": ["user identifier is invalid"],
                                          "status": 0, "request": "r2"})
        # The services' own length limits.
        text = str(fields.get({"ntfy": "message", "telegram": "text", "discord": "content", "slack": "text",
                               "gotify": "message", "pushover": "message", "json": "message"}[s], ""))
        too_long = {"ntfy": len(text.encode("utf-8")) > 4096, "telegram": utf16_units(text) > 4096,
                    "discord": len(text) > 2000, "slack": len(text) > 3000,
                    "gotify": len(text.encode("utf-8")) > 4096, "pushover": len(text) > 1024,
                    "json": len(text.encode("utf-8")) > 4096}[s]
        if too_long:
            errors.append("text over the limit")
        if s == "pushover" and len(str(fields.get("title", ""))) > 250:
            errors.append("title over 250")
        if s == "slack" and ("<" in text or ">" in text or "&" in text.replace("&amp;", "").replace("&lt;", "")
                             .replace("&gt;", "")):
            errors.append("text not escaped")
        return fields, errors, None

    def error(self, status, text):
        s = self.service
        retry = {"Retry-After": "7"} if status == 429 else {}
        if s == "ntfy":
            return status, {"code": status * 100 + 1, "http": status, "error": text}, retry
        if s == "telegram":
            body = {"ok": False, "error_code": status, "description": text}
            if status == 429:
                body["parameters"] = {"retry_after": 7}
            return status, body, {}
        if s == "discord":
            if status == 429:
                return status, {"message": "You are being rate limited.", "retry_after": 7.0, "global": False}, \
                    {"Retry-After": "7"}
            return status, {"message": text, "code": 10015 if status == 404 else 50035}, {}
        if s == "slack":
            return status, text.replace(" ", "_"), {"Retry-After": "7"} if status == 429 else {}
        if s == "gotify":
            return status, {"error": "Error", "errorCode": status, "errorDescription": text}, retry
        if s == "pushover":
            return status, {"errors": [text], "status": 0, "request": "r3"}, {"Retry-After": "7"} \
                if status == 429 else {}
        return status, {"error": text}, {"Retry-After": "7"} if status == 429 else {}

    def success(self, fields):
        s = self.service
        if s == "ntfy":
            return 200, {"id": "q1", "time": int(time.time()), "event": "message", "topic": fields.get("topic"),
                         "message": fields.get("message")}
        if s == "telegram":
            return 200, {"ok": True, "result": {"message_id": 1, "chat": {"id": fields.get("chat_id")},
                                                "text": fields.get("text")}}
        if s == "discord":
            return 200, {"id": "1", "content": fields.get("content")}
        if s == "slack":
            return 200, "ok"
        if s == "gotify":
            return 200, {"id": 1, "appid": 1, "message": fields.get("message"), "title": fields.get("title", "")}
        if s == "pushover":
            return 200, {"status": 1, "request": "r0"}
        return 204, None


TRIGGERS = [("#401", 401, "unauthorized"), ("#403", 403, "forbidden"), ("#404", 404, "Unknown Webhook"),
            ("#429", 429, "Too Many Requests"), ("#500", 500, "internal error")]


def handler_for(port, record, stopping):
    service = SERVICES.get(port)

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def reply(self, status, body, headers):
            if body is None:
                data = b""
            elif isinstance(body, str):
                data = body.encode("utf-8")
            else:
                data = json.dumps(body).encode("utf-8")
            self.send_response(status)
            if data:
                self.send_header("Content-Type", "text/plain" if isinstance(body, str) else "application/json")
            for k, v in headers.items():
                self.send_header(k, v)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            self.wfile.flush()

        def do_POST(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length else b""
            headers = {k.lower(): v for k, v in self.headers.items()}
            entry = {"port": port, "service": service, "time": time.monotonic(), "method": self.command,
                     "path": self.path, "headers": headers, "body": body.decode("utf-8", "replace")}
            if port == SILENT:
                record(entry)
                while not stopping.is_set():
                    time.sleep(0.2)
                return
            if port == TRICKLING:
                record(entry)
                try:
                    for byte in b"HTTP/1.1 200 OK\r\nX-Trickle: " + b"a" * 100000:
                        if stopping.is_set():
                            return
                        self.wfile.write(bytes([byte]))
                        self.wfile.flush()
                        time.sleep(0.5)
                except OSError:
                    return
                return
            judge = Judge(service)
            fields, errors, refusal = judge.check(self.command, self.path, headers, body)
            entry["fields"] = fields
            entry["shape_errors"] = errors
            extra = {}
            if refusal is not None:
                status, answer = refusal
            elif errors:
                status, answer, extra = judge.error(400, "bad request: " + "; ".join(errors))
            else:
                text = json.dumps(fields)
                trigger = next((t for t in TRIGGERS if t[0] in text), None)
                if trigger is not None:
                    status, answer, extra = judge.error(trigger[1], trigger[2])
                else:
                    status, answer = judge.success(fields)
            entry["status"] = status
            record(entry)
            self.reply(status, answer, extra)

        def do_GET(self):
            self.do_POST()

    return Handler


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(args):
    received = os.path.join(args.dir, "received.jsonl")
    lock = threading.Lock()
    stopping = threading.Event()

    def record(entry):
        with lock, open(received, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry) + "\n")

    def context(file):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(os.path.join(args.dir, file + ".pem"))
        return ctx

    servers = []
    for port in ALL_PORTS:
        server = Server((HOST, port), handler_for(port, record, stopping))
        if port != PLAIN:
            ctx = context("stranger" if port == UNTRUSTED else "good")
            server.socket = ctx.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        servers.append(server)
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    deadline = time.monotonic() + args.lifetime
    while not stopping.is_set() and time.monotonic() < deadline:
        time.sleep(0.1)
    stopping.set()
    for server in servers:
        server.shutdown()


def accepting(port):
    try:
        with socket.create_connection((HOST, port), timeout=0.5):
            return True
    except OSError:
        return False


def start(args):
    os.makedirs(args.dir, exist_ok=True)
    make_certificates(args.dir)
    open(os.path.join(args.dir, "received.jsonl"), "w").close()
    log = open(os.path.join(args.dir, "fake.log"), "w")
    child = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve", "--dir", args.dir, "--lifetime", str(args.lifetime)],
        stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    with open(args.pidfile, "w") as f:
        f.write(str(child.pid))
    for _ in range(150):
        if child.poll() is not None:
            print("push_fake: servers exited with", child.returncode, "; see", log.name, file=sys.stderr)
            return 1
        if all(accepting(p) for p in ALL_PORTS):
            return 0
        time.sleep(0.1)
    print("push_fake: servers did not start", file=sys.stderr)
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
    parser.add_argument("--dir")
    parser.add_argument("--pidfile")
    parser.add_argument("--lifetime", type=float, default=240)
    args = parser.parse_args()
    return {"start": start, "stop": stop, "serve": serve}[args.action](args) or 0


if __name__ == "__main__":
    sys.exit(main())
