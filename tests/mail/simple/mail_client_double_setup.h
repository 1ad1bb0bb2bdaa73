// Puts the Simple MAPI mail-client double (mail_client_double.dll in the test programs'
// folder) in place as the machine's default mail client, steers it and reads its
// journal. The registration is prefix-wide: tests using this hold the CTest lock
// "mailclient" (and "registry", since they also use the product's tree).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

class MailClientDouble {
public:
    MailClientDouble() = default;
    ~MailClientDouble() { Uninstall(); }
    MailClientDouble(const MailClientDouble &) = delete;
    MailClientDouble &operator=(const MailClientDouble &) = delete;

    // Registers the double as the default mail client (keeping the previous default's
    // name to put back), resets its steering and starts an empty journal at journalPath.
    // False (error says why) when the registration cannot be written.
    bool Install(const std::string &journalPath, std::string &error);
    // Puts the previous default mail client back and removes the steering key.
    void Uninstall();

    // Steering; each takes effect at the double's next call.
    void Reset();                                  // succeed everywhere, journal kept
    void SetLogonResult(DWORD result);
    void SetLogoffResult(DWORD result);
    void SetUnknownRecipient(const std::string &name);
    void SetNextSession(uint64_t session);         // used by the next logon only

    void ClearJournal();
    std::vector<std::string> JournalLines() const;

private:
    bool installed_ = false;
    bool hadDefault_ = false;
    std::string previousDefault_;
    std::string journalPath_;
};

} // namespace quillon::test
