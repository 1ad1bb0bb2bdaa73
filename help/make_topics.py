#!/usr/bin/env python3
"""Writes the help topics of quillon.chm (one .htm file per topic), the style sheet, the
table of contents and the project file for chmcmd into a folder:

    make_topics.py OUT_DIR

Topic texts live here so that every page shares one frame; the build runs it into its
work folder (scripts/build-help.sh), so the written files are never committed."""
import html
import os
import sys

# (file, title, context id or None, body html)
TOPICS = [
("index.htm", "Welcome to Quillon", None, """
<p>Quillon sends the text of web pages, or the part of a page you selected in the browser,
and your own reminders to a pager or any e-mail address at the times you choose.</p>
<p>It has four parts you will meet:</p>
<ul>
<li><b>Quillon Scheduler</b> (tasqed.exe) runs in the notification area from log-on. Once a
minute it starts the tasks that are due, connects to the Internet if needed and delivers
the messages. Right-click its icon for the schedule, the configuration and Exit.</li>
<li><b>Quillon... in the browser's Tools menu</b> captures the page or your selection and
schedules it. See <a href="capture.htm">Capturing a page</a>.</li>
<li><b>Quillon Reminder</b> (Nagnote.exe) writes a short message of your own and schedules
it. See <a href="reminders.htm">Reminders</a>.</li>
<li><b>The schedule</b> lists every task, with its next times, and lets you change, disable
or delete it. See <a href="schedule_list.htm">The schedule list</a>.</li>
</ul>
<p>Before the first message can go out, tell the scheduler how to send mail: see
<a href="config_mail.htm">Mail System</a>.</p>
"""),
("config_mail.htm", "Configuration: Mail System", 1003, """
<p>The <b>Mail System</b> page says how Quillon hands its messages to the mail system.</p>
<h2>SMTP mail client</h2>
<p>Choose the first option when you send mail through an Internet mail server. Enter the
server's name in <b>SMTP Server</b>. Quillon talks to it directly. If the server wants a
secure connection or a sign-in (most do today), fill in the
<a href="config_outgoing.htm">Outgoing Server</a> page as well.</p>
<h2>MAPI mail client</h2>
<p>Choose the second option to send through the mail program installed on this computer
(Simple or Extended MAPI). Enter the <b>Profile</b> the mail program uses and its
<b>Password</b>; <b>Change...</b> opens a dialog where you type the password twice.</p>
<h2>Addresses and length</h2>
<ul>
<li><b>Sender email address</b>: the address your messages come from.</li>
<li><b>Destination email address</b>: the pager's or phone's e-mail address, or any
mailbox.</li>
<li><b>Maximum message length</b>: the most characters your device accepts in one
message. Longer text is divided at word and paragraph boundaries, or cut, as chosen when
the task was made.</li>
</ul>
<p>The retry rules are on the <a href="config_errors.htm">Error Handling</a> page.</p>
"""),
("config_errors.htm", "Configuration: Error Handling", None, """
<p>The <b>Error Handling</b> page says what happens when something fails.</p>
<ul>
<li><b>If unable to access web page</b>: how many more times a page task is tried, and
how many minutes apart, when the page cannot be read (no connection, server down).</li>
<li><b>If unable to send message to pager</b>: how many times a queued message is tried
again, and how many minutes apart, when the mail system refuses it. After the last try
the message is given up and the log says so.</li>
</ul>
<p>Messages wait in the queue while the scheduler is not running and go out at its next
start.</p>
"""),
("config_connection.htm", "Configuration: Internet Connection", 1002, """
<p>The <b>Internet Connection</b> page says how Quillon reaches the Internet.</p>
<ul>
<li><b>Use Dial-Up Networking to connect to Internet</b>: Quillon dials the connection
named in <b>Name of Connection</b> before a task that needs the Internet, and hangs up
when no task is due within <b>Minutes between tasks before hanging up</b>.</li>
<li><b>Always connected to the Internet</b>: for a network or broadband connection;
Quillon never dials.</li>
</ul>
"""),
("config_advanced.htm", "Configuration: Advanced", 1001, """
<p>The <b>Advanced</b> page holds the settings most people never change.</p>
<ul>
<li><b>POP3 Authentication Required</b>: some mail servers accept mail only from someone
who has just signed in to read mail. Enter the <b>POP3 Server</b> and <b>Login Name</b>;
the password is the one set with <b>Change...</b> (one password serves the POP3 log-in
and the <a href="config_outgoing.htm">Outgoing Server</a> sign-in).</li>
<li><b>Create Log File</b>: every program of Quillon writes what it does into the file
named in <b>Log Filename</b>. See <a href="log_file.htm">The log file</a>.</li>
<li><b>Do not send page title</b>: the page title is not used as the message subject.</li>
</ul>
"""),
("config_outgoing.htm", "Configuration: Outgoing Server", 1007, """
<p>The <b>Outgoing Server</b> page sets up secure mail submission for the SMTP option.
Leave it empty to send as before: plain SMTP on the standard port.</p>
<ul>
<li><b>Port</b>: 587 for submission with STARTTLS, 465 for TLS from the first byte;
empty for the standard SMTP port.</li>
<li><b>Security</b>: <i>None</i>, <i>STARTTLS</i> (the connection is made secure before
anything else is sent; a server that cannot do so is refused), or <i>TLS</i>.</li>
<li><b>User name</b>: when filled in, Quillon signs in with this name and the
configuration's password (<b>Change Password...</b>). The same password serves the POP3
log-in of the Advanced page. Credentials are only ever sent over a secure connection.</li>
</ul>
<p>See <a href="secure_mail.htm">Setting up secure mail</a> for a step-by-step example.</p>
"""),
("extracted_text.htm", "Extracted Text", 1004, """
<p>This window shows the text Quillon extracted from the page or from your selection,
exactly as it will be sent, with the page title as the subject of the first message.</p>
<ul>
<li><b>Divide into multiple messages</b> (shown when the text is longer than the maximum
message length): when ticked, the text is sent as several messages divided at paragraph
and word boundaries; when cleared, only the first part that fits is sent.</li>
<li><b>OK</b> opens the task editor, where you choose when to send the text.</li>
<li><b>Cancel</b> schedules nothing.</li>
</ul>
<p>The page is read again each time the task runs, so the text sent is the page's text at
that time.</p>
"""),
("schedule_list.htm", "The schedule list", 1005, """
<p>The schedule list (<b>View Schedule</b> in the scheduler's menu) shows every task with
its schedule, start and end dates and times, whether it is disabled, the excepted months
and days, and when it last ran.</p>
<ul>
<li><b>Edit...</b> (or a double-click) opens the <a href="task_editor.htm">task editor</a>.</li>
<li><b>Disable</b> / <b>Enable</b> stops a task from running without deleting it.</li>
<li><b>View</b> shows the text the task would send now.</li>
<li><b>Delete</b> removes the task after you confirm.</li>
</ul>
<p>Changes take effect when you press <b>OK</b>; <b>Cancel</b> forgets them.</p>
"""),
("task_editor.htm", "The task editor", 1006, """
<p>The task editor says when a task runs.</p>
<ul>
<li><b>Every</b> n minutes, hours, days or weeks; with minutes and hours you may limit the
task to a time window (<b>From</b> ... <b>to</b>) or run it <b>24 hours a day</b>.</li>
<li><b>On the</b> first, second, third, fourth or last weekday <b>of the month</b>, at a
time.</li>
<li><b>On the</b> nth <b>day of the month</b>, or its last day, at a time.</li>
<li><b>Starting now and continuing forever</b>, or <b>From</b> a start date <b>to</b> an
end date.</li>
<li><b>except during the month(s) of</b> and <b>except on</b>: months and weekdays on which
the task does not run.</li>
<li><b>Send only when the text has changed</b> (page tasks): the page is checked at every
run, but a message goes out only when its text differs from what was sent last time.
See <a href="change_detection.htm">Sending only changed pages</a>.</li>
</ul>
"""),
("capture.htm", "Capturing a page", None, """
<ol>
<li>Open the page in the browser. To send only part of it, select that part with the
mouse.</li>
<li>Choose <b>Tools &gt; Quillon...</b>.</li>
<li>If the text is longer than one message, Quillon asks whether to divide it into several
messages.</li>
<li>Check the <a href="extracted_text.htm">extracted text</a> and press <b>OK</b>.</li>
<li>Choose when to send it in the <a href="task_editor.htm">task editor</a> and press
<b>OK</b>.</li>
</ol>
<p>Quillon remembers which part of the page you selected and sends that same part each
time, read fresh from the page.</p>
"""),
("reminders.htm", "Reminders", None, """
<p>Start <b>Quillon Reminder</b> from the Start menu.</p>
<ol>
<li>Type a <b>Subject</b> (Alt+S) and a <b>Message</b> (Alt+M).</li>
<li>Choose <b>Schedule</b> in the menu, and choose when to send the reminder in the task
editor.</li>
</ol>
<p>The reminder is kept as a small page in your Documents folder, named after its subject;
if that name is taken, Quillon asks whether to replace the file or use a new name.</p>
"""),
("secure_mail.htm", "Setting up secure mail", None, """
<p>Most mail services accept mail from a desktop program only over a secure connection
with a sign-in. For a typical service:</p>
<ol>
<li>On the <a href="config_mail.htm">Mail System</a> page choose the SMTP option and enter
the service's outgoing server, for example <i>smtp.example.com</i>.</li>
<li>On the <a href="config_outgoing.htm">Outgoing Server</a> page enter port 587 and
choose STARTTLS (or port 465 and TLS, if the service says so), enter your user name, press
<b>Change Password...</b> and type your password twice.</li>
<li>Press <b>OK</b>.</li>
</ol>
<p>Quillon checks the server's certificate against the certificates Windows trusts and the
server's name; a server that fails the check gets no mail, and the log says why.</p>
"""),
("change_detection.htm", "Sending only changed pages", None, """
<p>A page that changes seldom need not buzz your pager every time its task runs. Tick
<b>Send only when the text has changed</b> in the task editor: at each run Quillon reads
the page and sends it only if its text (or the text of your selection) differs from what
it sent last time. Changes in spacing or line breaks alone do not count.</p>
<p>The first run after you tick the box always sends.</p>
"""),
("log_file.htm", "The log file", None, """
<p>With <b>Create Log File</b> ticked on the <a href="config_advanced.htm">Advanced</a>
page, every program of Quillon adds lines to one plain-text file. Each line starts with the
name of the program that wrote it: TASQED.EXE (the scheduler), QUILLON.EXE (the page
sender), MAILWIRE, MAILSIMPLE or MAILRICH (the mail libraries).</p>
<p>The scheduler writes the time of each minute it works on, each task it starts and its
outcome, and each message it sends or gives up. The SMTP library writes the mail dialogue,
without passwords.</p>
<p>The file grows without limit; delete it whenever you like, a new one is started.</p>
"""),
("administrators.htm", "Notes for administrators", None, """
<h2>Where Quillon keeps its data</h2>
<p>Everything lives under <code>HKEY_CURRENT_USER\\Software\\Kestrova\\Tasqeduler</code>:</p>
<ul>
<li><code>Configuration</code>: the settings of the configuration dialog. The password is
stored scrambled, which protects it from a casual look only.</li>
<li><code>Tasks</code>: one key per task, named after the time it was created.</li>
<li><code>FailedTasks</code>: tasks waiting for a retry.</li>
<li><code>Mail</code>: messages waiting to be sent, one key each.</li>
</ul>
<h2>Delivery</h2>
<p>A queued message is deleted only after the mail system accepted it, and messages are
handed over one at a time. So every queued message is delivered after a kill of the
scheduler; at most the one message in flight at the kill may arrive twice.</p>
<h2>Installing and uninstalling</h2>
<p>QuillonSetup.exe installs for every user of the computer: the programs go to
Program Files\Quillon, the scheduler gets a shortcut in the Startup folder, and the Start
menu gets a Quillon folder. <code>QuillonSetup.exe /S</code> installs without questions; an
upgrade ends a running scheduler through its Exit command, replaces the files and starts
it again.</p>
<p>Uninstalling removes the programs, their registration and the shortcuts and leaves the
registry data above (and the log file) in place, unless you tick the box that removes it.
<code>uninstall.exe /S</code> keeps the data; <code>uninstall.exe /S /REMOVEUSERDATA</code>
removes it too.</p>
"""),
]

FRAME = """<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1252">
<title>{title}</title>
<link rel="stylesheet" href="quillon.css" type="text/css">
</head>
<body>
<h1>{title}</h1>
{body}
<p class="footer"><a href="index.htm">Quillon Help</a></p>
</body>
</html>
"""

CSS = """body { font-family: Tahoma, Verdana, sans-serif; font-size: 10pt; margin: 12px; }
h1 { font-size: 14pt; color: #20407a; }
h2 { font-size: 11pt; color: #20407a; }
code { font-family: "Courier New", monospace; }
.footer { margin-top: 24px; font-size: 8pt; }
"""


def main(out):
    os.makedirs(out, exist_ok=True)
    for name, title, _, body in TOPICS:
        with open(os.path.join(out, name), "w", encoding="cp1252", newline="\r\n") as f:
            f.write(FRAME.format(title=html.escape(title), body=body.strip()))
    with open(os.path.join(out, "quillon.css"), "w", newline="\r\n") as f:
        f.write(CSS)
    items = "".join(
        '<LI><OBJECT type="text/sitemap"><param name="Name" value="%s"><param name="Local" value="%s"></OBJECT>\n'
        % (html.escape(title), name) for name, title, _, _ in TOPICS)
    with open(os.path.join(out, "toc.hhc"), "w", encoding="cp1252", newline="\r\n") as f:
        f.write('<HTML><HEAD></HEAD><BODY>\n<OBJECT type="text/site properties"></OBJECT>\n<UL>\n%s</UL>\n</BODY></HTML>\n' % items)
    files = "\n".join(["quillon.css"] + [t[0] for t in TOPICS])
    mapped = [(n, c) for n, _, c, _ in TOPICS if c is not None]
    with open(os.path.join(out, "quillon.hhp"), "w", newline="\r\n") as f:
        f.write("[OPTIONS]\nCompatibility=1.1 or later\nCompiled file=quillon.chm\nContents file=toc.hhc\n"
                "Default topic=index.htm\nDisplay compile progress=No\nLanguage=0x409 English (United States)\n"
                "Title=Quillon Help\n\n[FILES]\n%s\n\n[ALIAS]\n%s\n\n[MAP]\n%s\n" % (
                    files,
                    "\n".join("IDH_%d=%s" % (c, n) for n, c in mapped),
                    "\n".join("#define IDH_%d %d" % (c, c) for n, c in mapped)))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_topics.py OUT_DIR")
    main(sys.argv[1])
