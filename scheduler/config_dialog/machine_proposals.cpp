#include "scheduler/config_dialog/machine_proposals.h"

#include "common/registry.h"
#include "common/text.h"

namespace quillon {

namespace {

constexpr char kProfilesPath[] = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";
constexpr char kNtProfilesPath[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr char kDialupProfilesPath[] = "RemoteAccess\\Profile";
constexpr char kRemoteAccessPath[] = "RemoteAccess";
constexpr char kMailClientsPath[] = "Software\\Clients\\Mail";
constexpr char kOutlookName[] = "Microsoft Outlook";
constexpr char kOutlook9SetupPath[] = "Software\\Microsoft\\Office\\9.0\\Outlook\\Setup";
constexpr char kOutlook8SetupPath[] = "Software\\Microsoft\\Office\\8.0\\Outlook\\Setup";
constexpr char kAccountManagerPath[] = "Software\\Microsoft\\Internet Account Manager";

std::vector<std::string> SubkeyNames(const RegistryKey &key)
{
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[kTextBufferSize] = "";
        LONG status = key.EnumSubkeyName(index, name, sizeof name);
        if (status == ERROR_MORE_DATA)
            continue;   // a name too long for the list's buffers is skipped
        if (status != ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    return names;
}

// A text value, empty when it cannot be read.
std::string TextOrEmpty(const RegistryKey &key, const char *name)
{
    char buffer[kTextBufferSize] = "";
    if (key.ReadString(name, buffer) != ERROR_SUCCESS)
        return std::string();
    return buffer;
}

void ProposeAccount(const RegistryRoots &roots, MailClientProposal *proposal)
{
    RegistryKey manager;
    if (manager.Open(roots.user, kAccountManagerPath) != ERROR_SUCCESS)
        return;
    char account[kTextBufferSize] = "";
    if (manager.ReadString("Default Mail Account", account) != ERROR_SUCCESS)
        return;
    char path[kTextBufferSize] = "Accounts\\";
    if (!AppendBounded(path, account))
        return;
    RegistryKey details;
    if (details.Open(manager.Get(), path) != ERROR_SUCCESS)
        return;
    proposal->hasAccount = true;
    proposal->smtpServer = TextOrEmpty(details, "SMTP Server");
    proposal->senderAddress = TextOrEmpty(details, "SMTP Email Address");
    proposal->pop3Server = TextOrEmpty(details, "POP3 Server");
    proposal->pop3Login = TextOrEmpty(details, "POP3 User Name");
}

} // namespace

ListProposal FindMessagingProfiles(const RegistryRoots &roots)
{
    ListProposal proposal;
    RegistryKey profiles;
    if (profiles.Open(roots.user, kProfilesPath) != ERROR_SUCCESS &&
        profiles.Open(roots.user, kNtProfilesPath) != ERROR_SUCCESS)
        return proposal;
    proposal.entries = SubkeyNames(profiles);
    proposal.selectFirst = true;
    char preferred[kTextBufferSize] = "";
    if (profiles.ReadString("DefaultProfile", preferred) == ERROR_SUCCESS) {
        proposal.hasPreferred = true;
        proposal.preferred = preferred;
    }
    return proposal;
}

ListProposal FindDialupEntries(const RegistryRoots &roots)
{
    ListProposal proposal;
    RegistryKey entries;
    if (entries.Open(roots.user, kDialupProfilesPath) == ERROR_SUCCESS)
        proposal.entries = SubkeyNames(entries);
    RegistryKey remoteAccess;
    if (remoteAccess.Open(roots.user, kRemoteAccessPath) != ERROR_SUCCESS)
        return proposal;
    proposal.selectFirst = true;
    char preferred[kTextBufferSize] = "";
    if (remoteAccess.ReadString("Default", preferred) == ERROR_SUCCESS) {
        proposal.hasPreferred = true;
        proposal.preferred = preferred;
    }
    return proposal;
}

MailClientProposal FindMailClientProposal(const RegistryRoots &roots)
{
    MailClientProposal proposal;
    RegistryKey clients;
    if (clients.Open(roots.machine, kMailClientsPath) != ERROR_SUCCESS)
        return proposal;
    // An unreadable name counts as "some other client".
    char client[kTextBufferSize] = "";
    clients.ReadString("", client);
    if (lstrcmpiA(client, kOutlookName) == 0) {
        RegistryKey setup;
        if (setup.Open(roots.machine, kOutlook9SetupPath) != ERROR_SUCCESS &&
            setup.Open(roots.machine, kOutlook8SetupPath) != ERROR_SUCCESS)
            return proposal;
        DWORD corporate = 0;
        if (setup.ReadDword("", &corporate) == ERROR_SUCCESS && corporate == 1) {
            proposal.choice = MailChoice::Mapi;
            return proposal;
        }
    }
    proposal.choice = MailChoice::Smtp;
    ProposeAccount(roots, &proposal);
    return proposal;
}

} // namespace quillon
