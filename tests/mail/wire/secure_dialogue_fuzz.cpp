// Fuzz target of the secured SMTP opening: the input is split into server bursts at
// 0xFF bytes and played as the server of a STARTTLS dialogue with sign-in, then read
// as complete replies whose EHLO extensions are looked up.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/scramble.h"
#include "tests/mail/wire/scripted_connection.h"

namespace {

class TlsAnyway : public quillon::test::ScriptedConnection {
public:
    bool StartTls(quillon::wire::WireOutput &) override { return true; }
};

std::vector<std::string> Bursts(const uint8_t *data, size_t size)
{
    std::vector<std::string> bursts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            bursts.emplace_back();
        else
            bursts.back().push_back(static_cast<char>(data[i]));
    }
    return bursts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string scrambled = quillon::ScrambleText("secret");
    TlsAnyway connection;
    connection.bursts = Bursts(data, size);
    quillon::test::RecordingOutput output;
    quillon::wire::SmtpMessage message = {"host", "a@b", "c@d", "s", "body"};
    message.security = quillon::wire::SmtpSecurity::kStartTls;
    message.login = "user";
    message.scrambledPassword = scrambled.c_str();
    message.scrambledPasswordLength = scrambled.size();
    quillon::wire::RunSmtpDialogue(connection, output, message, quillon::DateTime{});
    // The password and its base64 forms never reach the log (unless the server itself
    // sent those bytes, which are logged as its reply).
    std::string input;
    for (const std::string &burst : connection.bursts)
        input += burst;
    for (const char *secret : {"secret", "c2VjcmV0", "AHVzZXIAc2VjcmV0"}) {
        if (input.find(secret) != std::string::npos)
            continue;
        for (const std::string &line : output.lines)
            if (line.find(secret) != std::string::npos)
                __builtin_trap();
    }

    quillon::test::ScriptedConnection replies;
    replies.bursts = Bursts(data, size);
    char reply[quillon::wire::kReplyBufferSize];
    for (int i = 0; i < 64; ++i) {
        bool ok = quillon::wire::ReadCompleteReply(replies, reply);
        if (std::strlen(reply) >= quillon::wire::kReplyBufferSize)
            __builtin_trap();
        std::string parameters;
        if (quillon::wire::EhloOffers(reply, "AUTH", &parameters))
            (void)quillon::wire::ListsMechanism(parameters, "PLAIN");
        if (!ok)
            break;
    }
    return 0;
}
