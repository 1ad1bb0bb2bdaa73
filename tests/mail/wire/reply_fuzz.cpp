// Fuzz target of the reply reader and judges: the input is split into server bursts at
// 0xFF bytes and read as consecutive replies until the script runs out.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tests/mail/wire/scripted_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    quillon::test::ScriptedConnection connection;
    std::string burst;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) {
            connection.bursts.push_back(burst);
            burst.clear();
        } else {
            burst.push_back(static_cast<char>(data[i]));
        }
    }
    connection.bursts.push_back(burst);
    char reply[quillon::wire::kReplyBufferSize];
    for (int i = 0; i < 64; ++i) {
        bool ok = quillon::wire::ReadReply(connection, reply);
        if (std::strlen(reply) >= quillon::wire::kReplyBufferSize)
            __builtin_trap();
        (void)quillon::wire::SmtpReplyCode(reply);
        (void)quillon::wire::IsPop3Ok(reply);
        if (!ok)
            break;
    }
    return 0;
}
