#include "tests/support/config_rows.h"

#include "common/names.h"

namespace quillon::test {

std::vector<ConfigRow> CompleteSmtpConfiguration(const std::string &smtpServer)
{
    using namespace config_values;
    return {Number(kMailSystem, 0),  Text(kMailLibrary, "mailwire.dll"), Text(kSMTPServer, smtpServer),
            Text(kSender, "scheduler@example.test"), Text(kDestination, "pager@example.test"),
            Text(kMaxMsgLen, "500"), Number(kUsesDialup, 1), Text(kDialupName, ""), Text(kTimeout, "5"),
            Number(kPOP3Authentication, 0)};
}

std::vector<ConfigRow> With(std::vector<ConfigRow> rows, const std::vector<ConfigRow> &changes)
{
    for (const ConfigRow &change : changes) {
        bool replaced = false;
        for (ConfigRow &row : rows) {
            if (row.name == change.name) {
                row = change;
                replaced = true;
            }
        }
        if (!replaced)
            rows.push_back(change);
    }
    return rows;
}

} // namespace quillon::test
