#!/usr/bin/python3
"""smtplib_bench.py SERVER COUNT: the same messages as mail_send_bench, one connection
each, with Python's smtplib. Prints the time taken and the rate."""
import smtplib
import sys
import time

server, count = sys.argv[1], int(sys.argv[2])
body = ("Markets close higher as technology shares recover; oil steady near last week's level. "
        "Weather: light rain in the evening, clearing overnight. Traffic: delays on the ring road.")
start = time.perf_counter()
for i in range(count):
    date = time.strftime("%d %b %y %H:%M:%S").lstrip("0")
    data = ("DATE: %s\r\nFROM: bench@example.net\r\nTO: pager@example.net\r\nSUBJECT: Bench message %d\r\n%s"
            % (date, i + 1, body))
    with smtplib.SMTP(server, 25) as smtp:
        smtp.helo("bench")
        smtp.sendmail("bench@example.net", ["pager@example.net"], data)
seconds = time.perf_counter() - start
print("smtplib:  %d messages in %.2f s: %.1f messages/s" % (count, seconds, count / seconds))
