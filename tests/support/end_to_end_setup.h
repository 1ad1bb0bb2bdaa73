// The set-up shared by the end-to-end tests that run a page task through the scheduler
// to a real SMTP server (the engine's, the change watch's and the installed package's):
// the configuration, the page task and the messages that arrived in the server's maildir.
#pragma once

#include <string>
#include <vector>

#include "tests/support/wine_test_support.h"

namespace quillon::test {

// A complete SMTP configuration through mailwire.dll to smtpServer, from sender to
// pager@example.org, logging to logFile, no subject clipping, one retry 15 minutes on for
// queued messages and for tasks. Write it with WriteConfigurationRows.
std::vector<ConfigRow> EndToEndConfiguration(const std::string &smtpServer, const std::string &sender,
                                             const std::string &logFile);

// Writes the page task `name` that sends url every minute and has never run, so the
// next minute tick runs it. sendIfChanged adds SendIfChanged 1 (the task sends only a
// changed page). False when the task's key cannot be made.
bool WriteMinutePageTask(const std::string &name, const std::string &url, bool sendIfChanged);

// Every message file in new/ of the maildir at unixMaildir (a Linux path); none when the
// path is null or empty or the folder does not exist.
std::vector<std::string> MaildirMessages(const char *unixMaildir);

} // namespace quillon::test
