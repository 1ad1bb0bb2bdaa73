#include "tests/mail/simple/mail_client_double_setup.h"

#include "common/registry.h"
#include "tests/mail/simple/mail_client_double_control.h"
#include "tests/support/wine_test_support.h"

namespace quillon::test {

namespace control = mail_client;

namespace {

std::string DoublePath() { return BuildDir() + "\\tests\\mail_client_double.dll"; }

RegistryKey ControlKey()
{
    RegistryKey key;
    key.Create(HKEY_CURRENT_USER, control::kControlKeyPath);
    return key;
}

void RemoveControlKey()
{
    RegistryKey parent;
    if (parent.Open(HKEY_CURRENT_USER, control::kControlParentPath) == ERROR_SUCCESS)
        parent.DeleteSubkeyTree(control::kControlKeyName);
}

} // namespace

bool MailClientDouble::Install(const std::string &journalPath, std::string &error)
{
    journalPath_ = journalPath;
    RegistryKey clients;
    if (clients.Create(HKEY_LOCAL_MACHINE, control::kClientsKeyPath) != ERROR_SUCCESS) {
        error = "cannot create HKLM\\Software\\Clients\\Mail";
        return false;
    }
    if (!installed_) {
        char previous[MAX_PATH] = "";
        // A run that ended without uninstalling leaves the double as the default; there
        // is nothing better to put back then than no default at all.
        hadDefault_ = clients.ReadString("", previous) == ERROR_SUCCESS &&
                      lstrcmpiA(previous, control::kClientName) != 0;
        previousDefault_ = previous;
    }
    RegistryKey client;
    if (client.Create(clients.Get(), control::kClientName) != ERROR_SUCCESS ||
        client.WriteString("DLLPath", DoublePath()) != ERROR_SUCCESS ||
        clients.WriteString("", control::kClientName) != ERROR_SUCCESS) {
        error = "cannot register the mail-client double";
        return false;
    }
    installed_ = true;
    Reset();
    ClearJournal();
    return true;
}

void MailClientDouble::Uninstall()
{
    if (!installed_)
        return;
    installed_ = false;
    RegistryKey clients;
    if (clients.Open(HKEY_LOCAL_MACHINE, control::kClientsKeyPath) == ERROR_SUCCESS) {
        clients.DeleteSubkeyTree(control::kClientName);
        if (hadDefault_)
            clients.WriteString("", previousDefault_);
        else
            clients.DeleteValue("");
    }
    RemoveControlKey();
}

void MailClientDouble::Reset()
{
    RemoveControlKey();
    ControlKey().WriteString(control::kJournalValue, journalPath_);
}

void MailClientDouble::SetLogonResult(DWORD result) { ControlKey().WriteDword(control::kLogonResultValue, result); }

void MailClientDouble::SetLogoffResult(DWORD result) { ControlKey().WriteDword(control::kLogoffResultValue, result); }

void MailClientDouble::SetUnknownRecipient(const std::string &name)
{
    ControlKey().WriteString(control::kUnknownRecipientValue, name);
}

void MailClientDouble::SetNextSession(uint64_t session)
{
    RegSetValueExA(ControlKey().Get(), control::kNextSessionValue, 0, REG_QWORD,
                   reinterpret_cast<const BYTE *>(&session), sizeof session);
}

void MailClientDouble::ClearJournal()
{
    DeleteFileA(journalPath_.c_str());
}

std::vector<std::string> MailClientDouble::JournalLines() const
{
    std::vector<std::string> lines;
    std::string text = ReadWholeFile(journalPath_);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace quillon::test
