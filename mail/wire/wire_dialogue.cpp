#include "mail/wire/wire_dialogue.h"

#include <cstring>

#include "common/scramble.h"
#include "common/text.h"

namespace quillon::wire {

namespace {

constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void StoreByte(char *reply, size_t *stored, char byte)
{
    if (*stored < kReplyBufferSize - 1)
        reply[(*stored)++] = byte;
}

bool SendText(WireConnection &connection, const char *text)
{
    return connection.Send(text, std::strlen(text));
}

std::string ErrorLine(const char *step, int error)
{
    return FormatText("%s error %d", step, error);
}

// A line already ending in CR LF goes to the log as it is; the log adds another.
void LogWithoutEnd(WireOutput &output, const char *text)
{
    output.Log(text);
}

// One step of the SMTP table: send `command` (may be null) and read the reply.
struct Exchange {
    WireConnection &connection;
    WireOutput &output;
    char reply[kReplyBufferSize];

    bool SendLogged(const char *text, const char *step, bool logIt)
    {
        if (logIt)
            LogWithoutEnd(output, text);
        if (!SendText(connection, text)) {
            output.Log(ErrorLine(step, connection.LastError()));
            return false;
        }
        return true;
    }
    bool Read(const char *step)
    {
        if (!ReadReply(connection, reply)) {
            output.Log(ErrorLine(step, connection.LastError()));
            return false;
        }
        output.Log(reply);
        return true;
    }
};

} // namespace

bool ReadReply(WireConnection &connection, char *reply)
{
    size_t stored = 0;
    reply[0] = '\0';
    connection.BeginReply();
    char byte;
    for (;;) {
        ReceiveStatus status = connection.Receive(&byte, false);
        if (status != ReceiveStatus::kByte) {
            reply[stored] = '\0';
            return false;
        }
        StoreByte(reply, &stored, byte);
        if (byte == '\n')
            break;
    }
    while (connection.Receive(&byte, true) == ReceiveStatus::kByte)
        StoreByte(reply, &stored, byte);
    reply[stored] = '\0';
    return true;
}

long SmtpReplyCode(const char *reply)
{
    return DecimalTextValue(reply);
}

bool IsPop3Ok(const char *reply)
{
    return reply != nullptr && std::strncmp(reply, "+OK", 3) == 0;
}

std::string DateLine(const DateTime &now)
{
    const char *month = now.wMonth >= 1 && now.wMonth <= 12 ? kMonthNames[now.wMonth - 1] : "???";
    return FormatText("DATE: %d %s %02d %02d:%02d:%02d\r\n", now.wDay, month, now.wYear % 100, now.wHour,
                      now.wMinute, now.wSecond);
}

DialogueResult RunPop3Login(WireConnection &connection, WireOutput &output, const char *login,
                            const char *scrambledPassword, size_t passwordLength)
{
    Exchange x{connection, output, {}};
    char command[kCommandBufferSize];

    if (!x.Read("connect recv"))
        return DialogueResult::kNetworkFailed;
    if (!IsPop3Ok(x.reply))
        return DialogueResult::kRejected;

    FormatBounded(command, "USER %s\r\n", login != nullptr ? login : "");
    if (!x.SendLogged(command, "user send", true) || !x.Read("user recv"))
        return DialogueResult::kNetworkFailed;
    if (!IsPop3Ok(x.reply))
        return DialogueResult::kRejected;

    // The plain password lives only in these buffers, and only until it is sent.
    char plain[kCommandBufferSize];
    UnscramblePassword(scrambledPassword, passwordLength, plain, sizeof plain);
    FormatBounded(command, "PASS %s\r\n", plain);
    std::memset(plain, 0, sizeof plain);
    bool sent = SendText(connection, command);
    int sendError = connection.LastError();
    std::memset(command, 0, sizeof command);
    if (!sent) {
        output.Log(ErrorLine("password send", sendError));
        return DialogueResult::kNetworkFailed;
    }
    output.Log("Sent Password");
    if (!x.Read("password recv"))
        return DialogueResult::kNetworkFailed;
    if (!IsPop3Ok(x.reply))
        return DialogueResult::kRejected;

    if (!x.SendLogged("QUIT\r\n", "quit send", true) || !x.Read("quit recv"))
        return DialogueResult::kNetworkFailed;
    return DialogueResult::kDone;
}

DialogueResult RunSmtpDialogue(WireConnection &connection, WireOutput &output, const SmtpMessage &message,
                               const DateTime &now)
{
    Exchange x{connection, output, {}};
    char command[kCommandBufferSize];
    auto rejected = [&]() {
        output.Debug(x.reply);
        return DialogueResult::kRejected;
    };
    auto accepted = [&](long low, long high) {
        long code = SmtpReplyCode(x.reply);
        return code >= low && code <= high;
    };
    auto text = [](const char *t) { return t != nullptr ? t : ""; };

    // 1: greeting.
    if (!x.Read("recv"))
        return DialogueResult::kNetworkFailed;
    if (!accepted(220, 220))
        return rejected();

    // 2 to 5: commands with judged replies.
    struct Step {
        const char *format;
        const char *argument;
        const char *sendStep;
        const char *recvStep;
        long low, high;
        bool logged;
    } steps[] = {
        {"HELO %s\r\n", text(message.localHost), "hello send", "hello recv", 250, 250, true},
        {"MAIL FROM:<%s>\r\n", text(message.sender), "mailfrom send", "mailfrom recv", 250, 250, true},
        {"RCPT TO:<%s>\r\n", text(message.destination), "rcpt send", "rcpt recv", 250, 299, true},
        {"DATA\r\n", nullptr, "data send", "data recv", 354, 354, false},
    };
    for (const Step &step : steps) {
        if (step.argument != nullptr)
            FormatBounded(command, step.format, step.argument);
        else
            CopyBounded(command, step.format);
        if (!x.SendLogged(command, step.sendStep, step.logged) || !x.Read(step.recvStep))
            return DialogueResult::kNetworkFailed;
        if (!accepted(step.low, step.high))
            return rejected();
    }

    // 6 to 9: header lines, no replies.
    CopyBounded(command, DateLine(now));
    if (!x.SendLogged(command, "date send", true))
        return DialogueResult::kNetworkFailed;
    struct Header {
        const char *format;
        const char *argument;
        const char *sendStep;
    } headers[] = {
        {"FROM: %s\r\n", text(message.sender), "from send"},
        {"TO: %s\r\n", text(message.destination), "to send"},
        {"SUBJECT: %s\r\n", text(message.subject), "subject send"},
    };
    for (const Header &header : headers) {
        FormatBounded(command, header.format, header.argument);
        if (!x.SendLogged(command, header.sendStep, true))
            return DialogueResult::kNetworkFailed;
    }

    // 10, 11: the body as it is (no dot-stuffing), then the end of data.
    if (!x.SendLogged(text(message.body), "body send", false))
        return DialogueResult::kNetworkFailed;
    if (!x.SendLogged("\r\n.\r\n", "eom send", false) || !x.Read("eom recv"))
        return DialogueResult::kNetworkFailed;
    if (!accepted(250, 299))
        return rejected();

    // 12: QUIT. The server has taken the message with its reply to the end of data, so
    // nothing that goes wrong from here on makes it a failure: reporting one would
    // queue the same page again. A failed send is still logged.
    if (x.SendLogged("QUIT\r\n", "quit send", false)) {
        char reply[kReplyBufferSize];
        if (ReadReply(connection, reply))
            output.Log(reply);
    }
    return DialogueResult::kDone;
}

} // namespace quillon::wire
