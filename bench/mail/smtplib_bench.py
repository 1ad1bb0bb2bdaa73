#!/usr/bin/python3
"""smtplib_bench.py SERVER COUNT [PORT USER PASSWORD CAFILE DESTINATION]: the same messages as
mail_send_bench with Python's smtplib. Plain: one connection per message on port 25.
With PORT...: one STARTTLS connection with sign-in for all of them (the certificate
checked against CAFILE, a DER test authority). Prints the time taken and the rate."""
import quopri
import smtplib
import ssl
import sys
import time

server, count = sys.argv[1], int(sys.argv[2])
secure = len(sys.argv) == 8
destination = sys.argv[7] if secure else "pager@example.net"
body = ("Markets close higher as technology shares recover; oil steady near last week's level. "
        "Weather: light rain in the evening, clearing overnight. Traffic: delays on the ring road.")
encoded_body = quopri.encodestring(body.encode("cp1252")).decode("ascii").replace("\n", "\r\n")


def message(number):
    date = time.strftime("%d %b %Y %H:%M:%S %z").lstrip("0")
    return ("DATE: %s\r\nFROM: bench@example.net\r\nTO: %s\r\nSUBJECT: Bench message %d\r\n"
            "Message-ID: <%d.%f@example.net>\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=windows-1252\r\nContent-Transfer-Encoding: quoted-printable\r\n"
            "\r\n%s\r\n" % (date, destination, number, number, time.time(), encoded_body))


start = time.perf_counter()
if secure:
    port, user, password, cafile = int(sys.argv[3]), sys.argv[4], sys.argv[5], sys.argv[6]
    with open(cafile, "rb") as f:
        authority = ssl.DER_cert_to_PEM_cert(f.read())
    context = ssl.create_default_context(cadata=authority)
    with smtplib.SMTP(server, port) as smtp:
        smtp.starttls(context=context)
        smtp.login(user, password)
        for i in range(count):
            smtp.sendmail("bench@example.net", [destination], message(i + 1))
else:
    for i in range(count):
        with smtplib.SMTP(server, 25) as smtp:
            smtp.helo("bench")
            smtp.sendmail("bench@example.net", [destination], message(i + 1))
seconds = time.perf_counter() - start
print("smtplib:  %d messages in %.2f s: %.1f messages/s%s"
      % (count, seconds, count / seconds, " (one STARTTLS session)" if secure else ""))
