#!/usr/bin/python3
"""Real TLS SMTP peers for the mailwire secure-submission tests: Debian's aiosmtpd with
certificates made at test time by Debian's python3-cryptography. Run with /usr/bin/python3.

  tls_peer.py start --dir DIR --pidfile FILE [--lifetime S]
      makes DIR/ca.der (the test authority the prefix is told to trust) and the server
      certificates, starts the servers below in the background, waits until all accept
      connections, exits 0
  tls_peer.py stop --pidfile FILE
  tls_peer.py serve --dir DIR ...   the servers themselves, in the foreground

Servers (user "pager-user", password "Pa55 w0rd!" everywhere AUTH is offered):
  127.0.0.90:587   STARTTLS required, then AUTH PLAIN/LOGIN required
  127.0.0.90:2587  plain SMTP that offers no STARTTLS
  127.0.0.90:2588  STARTTLS, AUTH LOGIN only
  127.0.0.91:465   TLS from the first byte, AUTH PLAIN/LOGIN required
  127.0.0.91:2465  TLS with a certificate from an authority nobody trusts
  127.0.0.91:3465  TLS with a trusted certificate for another name
  127.0.0.91:4465  TLS with a trusted certificate that has expired

Everything the servers see goes to DIR/received.jsonl, one JSON line per event:
{"port": P, "auth": [login, password]} for each sign-in attempt, and
{"port": P, "mail_from": ..., "rcpt_tos": [...], "data": ...} for each message.
"""
import argparse
import datetime
import ipaddress
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import time

HOST_A = "127.0.0.90"
HOST_B = "127.0.0.91"
USER = "pager-user"
PASSWORD = "Pa55 w0rd!"


def _name(common):
    from cryptography import x509
    from cryptography.x509.oid import NameOID
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)])


def _signed(builder, issuer_key):
    """Wine's crypt32 turns an ECDSA signature into the raw r||s form by copying the two
    integers as they stand, so an r or s with a leading zero byte (about one signature in
    128) gives 63 bytes, and the chain check reports the signature invalid (trust status 8).
    ECDSA signing is randomised: sign again until both halves take their full 32 bytes."""
    from cryptography.hazmat.primitives import hashes
    from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
    while True:
        cert = builder.sign(issuer_key, hashes.SHA256())
        r, s = decode_dss_signature(cert.signature)
        if r >> 248 and s >> 248:
            return cert


def make_authority(common):
    """A self-signed test authority: (private key, certificate)."""
    from cryptography import x509
    from cryptography.hazmat.primitives.asymmetric import ec
    now = datetime.datetime.now(datetime.timezone.utc)
    key = ec.generate_private_key(ec.SECP256R1())
    builder = (x509.CertificateBuilder().subject_name(_name(common)).issuer_name(_name(common))
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1))
               .not_valid_after(now + datetime.timedelta(days=30))
               .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
               .add_extension(x509.KeyUsage(digital_signature=True, content_commitment=False,
                                            key_encipherment=False, data_encipherment=False,
                                            key_agreement=False, key_cert_sign=True, crl_sign=True,
                                            encipher_only=False, decipher_only=False), critical=True))
    return key, _signed(builder, key)


def write_authority_der(path, authority):
    from cryptography.hazmat.primitives import serialization
    with open(path, "wb") as out:
        out.write(authority[1].public_bytes(serialization.Encoding.DER))


def write_server_certificate(path, issuer, names, valid_days=30, expired=False, key_first=False):
    """A server certificate for names (DNS names, and IP addresses where a name is one)
    signed by issuer, written with its private key as one PEM file. key_first puts the key
    before the certificate, the order Postfix's smtpd_tls_chain_files wants."""
    from cryptography import x509
    from cryptography.hazmat.primitives import serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import ExtendedKeyUsageOID
    now = datetime.datetime.now(datetime.timezone.utc)
    issuer_key, issuer_cert = issuer
    key = ec.generate_private_key(ec.SECP256R1())
    # A loopback address is named both as a DNS name and as an IP address.
    alternatives = []
    for n in names:
        alternatives.append(x509.DNSName(n))
        try:
            alternatives.append(x509.IPAddress(ipaddress.ip_address(n)))
        except ValueError:
            pass
    start = now - datetime.timedelta(days=10 if expired else 1)
    end = now - datetime.timedelta(days=2) if expired else now + datetime.timedelta(days=valid_days)
    builder = (x509.CertificateBuilder().subject_name(_name(names[0])).issuer_name(issuer_cert.subject)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.SubjectAlternativeName(alternatives), critical=False)
               .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False))
    cert = _signed(builder, issuer_key)
    pem_cert = cert.public_bytes(serialization.Encoding.PEM)
    pem_key = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                serialization.NoEncryption())
    with open(path, "wb") as out:
        out.write(pem_key + pem_cert if key_first else pem_cert + pem_key)


def make_certificates(directory):
    trusted = make_authority("Quillon Test Authority")
    stranger = make_authority("Unknown Test Authority")
    write_authority_der(os.path.join(directory, "ca.der"), trusted)

    def server(file, issuer, names, expired=False):
        write_server_certificate(os.path.join(directory, file + ".pem"), issuer, names, expired=expired)

    server("good", trusted, [HOST_A, HOST_B])
    server("stranger", stranger, [HOST_B])
    server("othername", trusted, ["mail.example.test"])
    server("expired", trusted, [HOST_B], expired=True)


def serve(args):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword

    received = os.path.join(args.dir, "received.jsonl")

    def record(entry):
        with open(received, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry) + "\n")

    class Sink:
        def __init__(self, port):
            self.port = port

        async def handle_DATA(self, server, session, envelope):
            record({"port": self.port, "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                    "data": envelope.original_content.decode("latin-1")})
            return "250 Message accepted for delivery"

    def authenticator_for(port):
        def authenticate(server, session, envelope, mechanism, auth_data):
            if not isinstance(auth_data, LoginPassword):
                return AuthResult(success=False, handled=False)
            login = auth_data.login.decode("latin-1")
            password = auth_data.password.decode("latin-1")
            record({"port": port, "auth": [login, password], "mechanism": mechanism})
            return AuthResult(success=login == USER and password == PASSWORD, handled=False)
        return authenticate

    def context(file):
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(os.path.join(args.dir, file + ".pem"))
        return ctx

    def starttls(port, **extra):
        return Controller(Sink(port), hostname=HOST_A, port=port, tls_context=context("good"),
                          require_starttls=True, authenticator=authenticator_for(port), auth_required=True,
                          auth_require_tls=True, **extra)

    def implicit(port, file, **extra):
        return Controller(Sink(port), hostname=HOST_B, port=port, ssl_context=context(file),
                          authenticator=authenticator_for(port), auth_required=True, auth_require_tls=False,
                          **extra)

    controllers = [
        starttls(587),
        Controller(Sink(2587), hostname=HOST_A, port=2587, authenticator=authenticator_for(2587),
                   auth_require_tls=False),
        starttls(2588, auth_exclude_mechanism=["PLAIN"]),
        implicit(465, "good"),
    ]
    # Servers whose certificate the client must refuse: the readiness probe of aiosmtpd
    # does not check certificates, so they start like the others.
    controllers += [implicit(2465, "stranger"), implicit(3465, "othername"), implicit(4465, "expired")]
    for controller in controllers:
        controller.start()
    stop = {"now": False}
    signal.signal(signal.SIGTERM, lambda *_: stop.update(now=True))
    deadline = time.monotonic() + args.lifetime
    while not stop["now"] and time.monotonic() < deadline:
        time.sleep(0.1)
    for controller in controllers:
        controller.stop()


def accepting(host, port):
    try:
        with socket.create_connection((host, port), timeout=0.5):
            return True
    except OSError:
        return False


ALL = [(HOST_A, 587), (HOST_A, 2587), (HOST_A, 2588), (HOST_B, 465), (HOST_B, 2465), (HOST_B, 3465),
       (HOST_B, 4465)]


def start(args):
    os.makedirs(args.dir, exist_ok=True)
    make_certificates(args.dir)
    open(os.path.join(args.dir, "received.jsonl"), "w").close()
    log = open(os.path.join(args.dir, "peer.log"), "w")
    child = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve", "--dir", args.dir, "--lifetime", str(args.lifetime)],
        stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    with open(args.pidfile, "w") as f:
        f.write(str(child.pid))
    for _ in range(150):
        if child.poll() is not None:
            print("tls_peer: servers exited with", child.returncode, "; see", log.name, file=sys.stderr)
            return 1
        if all(accepting(h, p) for h, p in ALL):
            return 0
        time.sleep(0.1)
    print("tls_peer: servers did not start", file=sys.stderr)
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
    parser.add_argument("--lifetime", type=float, default=180)
    args = parser.parse_args()
    return {"start": start, "stop": stop, "serve": serve}[args.action](args) or 0


if __name__ == "__main__":
    sys.exit(main())
