// How tests steer the Simple MAPI mail-client double (mail_client_double.cpp) and where
// it reports. The double reads these values at every call, so a test may change them
// between calls; it appends one journal line per call (and one per record it was
// handed) to the file named by kJournalValue.
#pragma once

namespace quillon::test::mail_client {

// Under HKEY_CURRENT_USER.
constexpr char kControlParentPath[] = "Software\\QuillonTests";
constexpr char kControlKeyName[] = "SimpleMailClient";
constexpr char kControlKeyPath[] = "Software\\QuillonTests\\SimpleMailClient";

constexpr char kJournalValue[] = "Journal";                    // REG_SZ: journal file
constexpr char kLogonResultValue[] = "LogonResult";            // REG_DWORD: MAPILogon's result
constexpr char kLogoffResultValue[] = "LogoffResult";          // REG_DWORD: MAPILogoff's result
constexpr char kUnknownRecipientValue[] = "UnknownRecipient";  // REG_SZ: a name it cannot resolve
constexpr char kNextSessionValue[] = "NextSession";            // REG_QWORD: next session handed out

// Sessions are handed out from here up, all above 4 GiB, so that a session cut to 32
// bits is one the double does not know.
constexpr unsigned long long kFirstSession = 0x0000000500000001ull;

// Under HKEY_LOCAL_MACHINE: the default mail client's registration, through which the
// system's MAPI32.DLL finds the double.
constexpr char kClientsKeyPath[] = "Software\\Clients\\Mail";
constexpr char kClientName[] = "Quillon Test Mail Client";

} // namespace quillon::test::mail_client
