// What the configuration dialog finds on the machine to propose: the messaging
// profiles, the dial-up entries, the default mail client and the Internet mail account
// of the system's account manager. All of it is registry data of other software, read
// only; whatever is missing simply leaves its list or proposal empty.
//
// The roots are parameters so that tests can stand a scratch key in for the local
// machine's hive (which every test of a Wine prefix shares).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scheduler/config_dialog/config_form.h"

namespace quillon {

struct RegistryRoots {
    HKEY machine = HKEY_LOCAL_MACHINE;
    HKEY user = HKEY_CURRENT_USER;
};

// Names offered in a drop-down list and the entry to make current.
struct ListProposal {
    std::vector<std::string> entries;
    bool selectFirst = false;     // select entry 0 of the (sorted) list
    bool hasPreferred = false;    // then select the entry with this text
    std::string preferred;
};

// Subkeys of "...\Windows Messaging Subsystem\Profiles" (current user; the Windows NT
// path when the first is missing); first entry selected, then "DefaultProfile".
ListProposal FindMessagingProfiles(const RegistryRoots &roots);

// Subkeys of "RemoteAccess\Profile" (current user). An entry is selected only when
// "RemoteAccess" exists: the first, then the one named by its "Default" value.
ListProposal FindDialupEntries(const RegistryRoots &roots);

// The mail option and SMTP account proposed at a first configuration.
struct MailClientProposal {
    MailChoice choice = MailChoice::None;
    bool hasAccount = false;     // the account manager's default account was found
    std::string smtpServer;      // "SMTP Server"
    std::string senderAddress;   // "SMTP Email Address"
    std::string pop3Server;      // "POP3 Server"
    std::string pop3Login;       // "POP3 User Name"
};

// The default mail client (Software\Clients\Mail of the machine): none registered gives
// no option; "Microsoft Outlook" set up for corporate mail (Office 9.0 or 8.0 setup
// key's default value 1) gives the MAPI option; any other client the SMTP option with
// the account manager's default account.
MailClientProposal FindMailClientProposal(const RegistryRoots &roots);

} // namespace quillon
