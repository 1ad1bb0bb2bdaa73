#!/usr/bin/python3
"""Reads back every message the mail-system delivery test sent (mail_system.py fetch:
POP3 from Dovecot, each message parsed by Python's email package) and compares it with
what the page sender had queued.

  mail_system_check.py --dir DIR --expected FILE

FILE holds one line per queued message: mode TAB charset TAB zone offset in minutes TAB
subject (hex bytes) TAB body (hex bytes), as the delivery test read them from the queue.
Each mode delivered to pager+<mode>@pager.test. Exit 0 when every message arrived once,
with its subject and body as queued.
"""
import argparse
import datetime
import email.utils
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def expected_body(text):
    # Line ends come back as LF whatever the page had; a last line gains its line end.
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    return text if text == "" or text.endswith("\n") else text + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--expected", required=True)
    args = parser.parse_args()

    expected = []
    with open(args.expected, encoding="ascii") as f:
        for line in f:
            mode, charset, offset, subject, body = line.rstrip("\n").split("\t")
            expected.append((mode, charset, int(offset), bytes.fromhex(subject).decode(charset),
                             expected_body(bytes.fromhex(body).decode(charset))))
    fetched = subprocess.run([sys.executable, os.path.join(HERE, "mail_system.py"), "fetch", "--dir", args.dir],
                             capture_output=True, text=True, timeout=60)
    if fetched.returncode != 0:
        print("fetch failed:", fetched.stderr, file=sys.stderr)
        return 1
    messages = json.loads(fetched.stdout)
    for m in messages:   # header names are case-insensitive ("TO:" is as good as "To:")
        m["headers"] = {name.lower(): value for name, value in m["headers"].items()}
    failures = []
    now = datetime.datetime.now(datetime.timezone.utc)
    used = set()
    message_ids = set()
    for mode, charset, offset, subject, body in expected:
        label = f"{mode}: {subject[:40]!r}"
        candidates = [i for i, m in enumerate(messages)
                      if i not in used and m["headers"].get("to") == f"pager+{mode}@pager.test"
                      and m["subject"] == subject]
        if not candidates:
            seen = [m["subject"] for m in messages if m["headers"].get("to") == f"pager+{mode}@pager.test"]
            failures.append(f"{label}: no message with this subject; {mode} subjects seen: {seen!r}")
            continue
        index = candidates[0]
        used.add(index)
        m = messages[index]
        if m["body"] != body:
            failures.append(f"{label}: body differs\n  sent {body[:300]!r}\n  got  {m['body'][:300]!r}")
        content_type = m["headers"].get("content-type", "")
        if f"charset={charset}".lower() not in content_type.replace('"', "").lower():
            failures.append(f"{label}: Content-Type {content_type!r}")
        if m["defects"]:
            failures.append(f"{label}: the parser found defects {m['defects']}")
        for number, raw_line in enumerate(m["raw"].split("\n")):
            if len(raw_line.rstrip("\r")) > 998:
                failures.append(f"{label}: line {number} has {len(raw_line)} characters")
        date = email.utils.parsedate_to_datetime(m["headers"].get("date", "Thu, 1 Jan 1970 00:00:00 +0000"))
        if date.utcoffset() != datetime.timedelta(minutes=offset):
            failures.append(f"{label}: Date {m['headers'].get('date')!r} is not in the zone {offset:+d} min")
        elif abs((now - date).total_seconds()) > 600:
            failures.append(f"{label}: Date {m['headers'].get('date')!r} is not now ({now.isoformat()})")
        message_id = m["headers"].get("message-id", "")
        if not message_id.endswith("@sender.test>") or message_id in message_ids:
            failures.append(f"{label}: Message-ID {message_id!r} missing, foreign or repeated")
        message_ids.add(message_id)
    extra = [messages[i]["subject"] for i in range(len(messages)) if i not in used]
    if extra:
        failures.append(f"messages nobody sent: {extra!r}")
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"mail_system_check: {len(expected)} expected, {len(messages)} received, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
