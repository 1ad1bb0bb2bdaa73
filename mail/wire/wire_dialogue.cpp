#include "mail/wire/wire_dialogue.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "common/scramble.h"
#include "common/text.h"

namespace quillon::wire {

namespace {

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
    bool ReadComplete(const char *step)
    {
        if (!ReadCompleteReply(connection, reply)) {
            output.Log(ErrorLine(step, connection.LastError()));
            return false;
        }
        output.Log(reply);
        return true;
    }
    bool Accepted(long low, long high) const
    {
        long code = SmtpReplyCode(reply);
        return code >= low && code <= high;
    }
    DialogueResult Rejected()
    {
        output.Debug(reply);
        return SmtpReplyCode(reply) == 421 ? DialogueResult::kServiceClosing : DialogueResult::kRejected;
    }
};

bool WantsSignIn(const SmtpMessage &message) { return message.login != nullptr && message.login[0] != '\0'; }

// Sends one line that carries credentials: never logged, wiped after the send.
bool SendSecret(Exchange &x, char *line, size_t lineSize)
{
    bool sent = SendText(x.connection, line);
    int error = x.connection.LastError();
    WipeBytes(line, lineSize);
    if (!sent)
        x.output.Log(ErrorLine("auth send", error));
    return sent;
}

// AUTH PLAIN: one line with the base64 of "\0user\0password".
DialogueResult AuthPlain(Exchange &x, const SmtpMessage &message)
{
    char password[kTextBufferSize];
    UnscramblePassword(message.scrambledPassword, message.scrambledPasswordLength, password, sizeof password);
    unsigned char raw[2 * kTextBufferSize + 2];
    size_t userLength = std::strlen(message.login);
    size_t passwordLength = std::strlen(password);
    size_t length = 0;
    bool fits = userLength < kTextBufferSize && passwordLength < kTextBufferSize;
    if (fits) {
        raw[length++] = 0;
        std::memcpy(raw + length, message.login, userLength);
        length += userLength;
        raw[length++] = 0;
        std::memcpy(raw + length, password, passwordLength);
        length += passwordLength;
    }
    WipeBytes(password, sizeof password);
    char encoded[kCommandBufferSize];
    fits = fits && Base64Encode(raw, length, encoded, sizeof encoded);
    WipeBytes(raw, sizeof raw);
    char line[kCommandBufferSize];
    fits = fits && FormatBounded(line, "AUTH PLAIN %s\r\n", encoded);
    WipeBytes(encoded, sizeof encoded);
    if (!fits) {
        WipeBytes(line, sizeof line);
        x.output.Log("SMTPLogin or Password too long to send");
        return DialogueResult::kRejected;
    }
    if (!SendSecret(x, line, sizeof line))
        return DialogueResult::kNetworkFailed;
    x.output.Log("Sent credentials");
    if (!x.ReadComplete("auth recv"))
        return DialogueResult::kNetworkFailed;
    return x.Accepted(235, 235) ? DialogueResult::kDone : x.Rejected();
}

// AUTH LOGIN: the command, then the user name and the password, each answering a 334.
DialogueResult AuthLogin(Exchange &x, const SmtpMessage &message)
{
    if (!x.SendLogged("AUTH LOGIN\r\n", "auth send", true) || !x.ReadComplete("auth recv"))
        return DialogueResult::kNetworkFailed;
    if (!x.Accepted(334, 334))
        return x.Rejected();
    char line[kCommandBufferSize];
    char encoded[kCommandBufferSize];
    bool fits = Base64Encode(reinterpret_cast<const unsigned char *>(message.login), std::strlen(message.login),
                             encoded, sizeof encoded) &&
                FormatBounded(line, "%s\r\n", encoded);
    if (!fits || !SendSecret(x, line, sizeof line)) {
        WipeBytes(line, sizeof line);
        return fits ? DialogueResult::kNetworkFailed : DialogueResult::kRejected;
    }
    if (!x.ReadComplete("auth recv"))
        return DialogueResult::kNetworkFailed;
    if (!x.Accepted(334, 334))
        return x.Rejected();
    char password[kTextBufferSize];
    UnscramblePassword(message.scrambledPassword, message.scrambledPasswordLength, password, sizeof password);
    fits = Base64Encode(reinterpret_cast<const unsigned char *>(password), std::strlen(password), encoded,
                        sizeof encoded) &&
           FormatBounded(line, "%s\r\n", encoded);
    WipeBytes(password, sizeof password);
    WipeBytes(encoded, sizeof encoded);
    if (!fits || !SendSecret(x, line, sizeof line)) {
        WipeBytes(line, sizeof line);
        return fits ? DialogueResult::kNetworkFailed : DialogueResult::kRejected;
    }
    x.output.Log("Sent credentials");
    if (!x.ReadComplete("auth recv"))
        return DialogueResult::kNetworkFailed;
    return x.Accepted(235, 235) ? DialogueResult::kDone : x.Rejected();
}

DialogueResult Ehlo(Exchange &x, const char *localHost)
{
    char command[kCommandBufferSize];
    FormatBounded(command, "EHLO %s\r\n", localHost != nullptr ? localHost : "");
    if (!x.SendLogged(command, "ehlo send", true) || !x.ReadComplete("ehlo recv"))
        return DialogueResult::kNetworkFailed;
    return x.Accepted(250, 250) ? DialogueResult::kDone : x.Rejected();
}

// Everything before MAIL FROM when the connection is secured or the user signs in.
DialogueResult SecuredOpening(Exchange &x, const SmtpMessage &message, SessionFeatures *features)
{
    const bool signIn = WantsSignIn(message);
    if (message.security == SmtpSecurity::kPlain) {
        // Reached only with a login: credentials never travel in clear.
        x.output.Log("SMTPLogin needs SMTPSecurity 1 or 2: credentials are sent only inside TLS");
        return DialogueResult::kRejected;
    }
    if (message.security == SmtpSecurity::kImplicitTls && !x.connection.StartTls(x.output))
        return DialogueResult::kNetworkFailed;
    if (!x.ReadComplete("recv"))
        return DialogueResult::kNetworkFailed;
    if (!x.Accepted(220, 220))
        return x.Rejected();
    DialogueResult result = Ehlo(x, message.localHost);
    if (result != DialogueResult::kDone)
        return result;
    if (message.security == SmtpSecurity::kStartTls) {
        if (!EhloOffers(x.reply, "STARTTLS")) {
            // Required: rather than carry on in clear, stop here and send nothing more.
            x.output.Log("STARTTLS not offered by the server");
            return DialogueResult::kRejected;
        }
        if (!x.SendLogged("STARTTLS\r\n", "starttls send", true) || !x.ReadComplete("starttls recv"))
            return DialogueResult::kNetworkFailed;
        if (!x.Accepted(220, 220))
            return x.Rejected();
        if (!x.connection.StartTls(x.output))
            return DialogueResult::kNetworkFailed;
        // What the server offered in clear may have been forged: ask again inside TLS.
        result = Ehlo(x, message.localHost);
        if (result != DialogueResult::kDone)
            return result;
    }
    if (features != nullptr)
        features->pipelining = EhloOffers(x.reply, "PIPELINING");
    if (!signIn)
        return DialogueResult::kDone;
    std::string mechanisms;
    bool offered = EhloOffers(x.reply, "AUTH", &mechanisms);
    if (offered && ListsMechanism(mechanisms, "PLAIN"))
        return AuthPlain(x, message);
    if (offered && ListsMechanism(mechanisms, "LOGIN"))
        return AuthLogin(x, message);
    x.output.Log("AUTH PLAIN or LOGIN not offered by the server");
    return DialogueResult::kRejected;
}

} // namespace

bool WireConnection::StartTls(WireOutput &output)
{
    output.Log("TLS not available on this connection");
    return false;
}

void WipeBytes(void *bytes, size_t length)
{
    volatile unsigned char *p = static_cast<volatile unsigned char *>(bytes);
    while (length-- > 0)
        *p++ = 0;
}

bool Base64Encode(const unsigned char *bytes, size_t length, char *out, size_t outSize)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const size_t needed = (length + 2) / 3 * 4 + 1;
    if (outSize == 0)
        return false;
    out[0] = '\0';
    if (needed > outSize)
        return false;
    size_t o = 0;
    for (size_t i = 0; i < length; i += 3) {
        unsigned value = static_cast<unsigned>(bytes[i]) << 16;
        if (i + 1 < length)
            value |= static_cast<unsigned>(bytes[i + 1]) << 8;
        if (i + 2 < length)
            value |= bytes[i + 2];
        out[o++] = kAlphabet[(value >> 18) & 63];
        out[o++] = kAlphabet[(value >> 12) & 63];
        out[o++] = i + 1 < length ? kAlphabet[(value >> 6) & 63] : '=';
        out[o++] = i + 2 < length ? kAlphabet[value & 63] : '=';
    }
    out[o] = '\0';
    return true;
}

bool ReadCompleteReply(WireConnection &connection, char *reply)
{
    size_t stored = 0;
    reply[0] = '\0';
    connection.BeginReply();
    // The current line's first four bytes decide whether another line follows.
    char lineStart[4];
    size_t lineLength = 0;
    char byte;
    for (;;) {
        if (connection.Receive(&byte, false) != ReceiveStatus::kByte) {
            reply[stored] = '\0';
            return false;
        }
        StoreByte(reply, &stored, byte);
        if (byte != '\n') {
            if (lineLength < sizeof lineStart)
                lineStart[lineLength] = byte;
            ++lineLength;
            continue;
        }
        bool continued = lineLength >= 4 && std::isdigit(static_cast<unsigned char>(lineStart[0])) &&
                         lineStart[3] == '-';
        lineLength = 0;
        if (!continued)
            break;
    }
    reply[stored] = '\0';
    return true;
}

bool EhloOffers(const char *reply, const char *keyword, std::string *parameters)
{
    const size_t keywordLength = std::strlen(keyword);
    const char *line = reply;
    while (line != nullptr && *line != '\0') {
        const char *end = std::strchr(line, '\n');
        size_t length = end != nullptr ? static_cast<size_t>(end - line) : std::strlen(line);
        if (length > 0 && line[length - 1] == '\r')
            --length;
        // "250-KEYWORD params" or "250 KEYWORD params"; the first line is the greeting.
        if (length >= 4 + keywordLength && line != reply) {
            const char *word = line + 4;
            bool same = true;
            for (size_t i = 0; i < keywordLength && same; ++i)
                same = std::toupper(static_cast<unsigned char>(word[i])) ==
                       std::toupper(static_cast<unsigned char>(keyword[i]));
            if (same && (length == 4 + keywordLength || word[keywordLength] == ' ' || word[keywordLength] == '=')) {
                if (parameters != nullptr)
                    parameters->assign(word + keywordLength, line + length);
                return true;
            }
        }
        line = end != nullptr ? end + 1 : nullptr;
    }
    return false;
}

bool ListsMechanism(const std::string &parameters, const char *mechanism)
{
    const size_t length = std::strlen(mechanism);
    size_t at = 0;
    while (at < parameters.size()) {
        while (at < parameters.size() && (parameters[at] == ' ' || parameters[at] == '='))
            ++at;
        size_t end = at;
        while (end < parameters.size() && parameters[end] != ' ')
            ++end;
        if (end - at == length) {
            bool same = true;
            for (size_t i = 0; i < length && same; ++i)
                same = std::toupper(static_cast<unsigned char>(parameters[at + i])) ==
                       std::toupper(static_cast<unsigned char>(mechanism[i]));
            if (same)
                return true;
        }
        at = end;
    }
    return false;
}

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

namespace {

// The header lines, the empty line, the body and the end-of-data line, as DATA carries
// them; every header line is logged as it is sent. `oneSend` puts all of it into one send
// (a kept secured session: one TLS record burst instead of a dozen); otherwise each header
// line is a send of its own, with its own step in a failure's log line.
DialogueResult SendMessageContent(Exchange &x, const SmtpMessage &message, const DateTime &now, bool oneSend)
{
    auto text = [](const char *t) { return t != nullptr ? t : ""; };
    // No function-local static here: its guarded first-use set-up would leave the
    // runtime's lock behind at every unload of the library.
    const TextCharset fallback;
    const TextCharset &charset = message.charset != nullptr ? *message.charset : fallback;
    char command[kCommandBufferSize];

    struct Line {
        std::string text;
        const char *sendStep;
    };
    std::vector<Line> lines;
    CopyBounded(command, DateLine(now, message.utcOffsetMinutes));
    lines.push_back({command, "date send"});
    FormatBounded(command, "FROM: %s\r\n", text(message.sender));
    lines.push_back({command, "from send"});
    FormatBounded(command, "TO: %s\r\n", text(message.destination));
    lines.push_back({command, "to send"});
    // The subject may be folded onto several lines: never cut by the command buffer.
    lines.push_back({SubjectLines(message.subject, charset), "subject send"});
    lines.push_back({MessageIdLine(message.sender, message.localHost, text(message.uniqueId)), "messageid send"});
    for (const std::string &line : MimeHeaderLines(charset))
        lines.push_back({line, "mime send"});

    // The empty line ends the header: without it a body that begins "Note: ..." would be
    // read as one more header line. Quoted-printable keeps every line short and every byte
    // as sent; dot-stuffing keeps a line of the body from ending the data.
    const std::string body = "\r\n" + DotStuffed(QuotedPrintableBody(message.body));
    if (oneSend) {
        std::string all;
        for (const Line &line : lines) {
            LogWithoutEnd(x.output, line.text.c_str());
            all += line.text;
        }
        all += body;
        all += ".\r\n";
        return x.SendLogged(all.c_str(), "body send", false) ? DialogueResult::kDone : DialogueResult::kNetworkFailed;
    }
    // DATE, FROM, TO and SUBJECT each go out on their own, as they always have; the lines
    // added after them share one send (each send costs a packet and, under Wine, a trip
    // through the server process).
    constexpr size_t kLinesOfTheirOwn = 4;
    std::string added;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i >= kLinesOfTheirOwn) {
            LogWithoutEnd(x.output, lines[i].text.c_str());
            added += lines[i].text;
        } else if (!x.SendLogged(lines[i].text.c_str(), lines[i].sendStep, true)) {
            return DialogueResult::kNetworkFailed;
        }
    }
    if (!x.SendLogged(added.c_str(), "mime send", false))
        return DialogueResult::kNetworkFailed;
    if (!x.SendLogged(body.c_str(), "body send", false) || !x.SendLogged(".\r\n", "eom send", false))
        return DialogueResult::kNetworkFailed;
    return DialogueResult::kDone;
}

} // namespace

DialogueResult OpenSecuredSession(WireConnection &connection, WireOutput &output, const SmtpMessage &message,
                                  SessionFeatures *features)
{
    Exchange x{connection, output, {}};
    return SecuredOpening(x, message, features);
}

DialogueResult SendMailTransaction(WireConnection &connection, WireOutput &output, const SmtpMessage &message,
                                   const DateTime &now, bool pipelined, bool completeReplies)
{
    Exchange x{connection, output, {}};
    auto text = [](const char *t) { return t != nullptr ? t : ""; };
    auto read = [&](const char *step) { return completeReplies ? x.ReadComplete(step) : x.Read(step); };
    char mailFrom[kCommandBufferSize];
    char rcptTo[kCommandBufferSize];
    FormatBounded(mailFrom, "MAIL FROM:<%s>\r\n", text(message.sender));
    FormatBounded(rcptTo, "RCPT TO:<%s>\r\n", text(message.destination));

    if (pipelined) {
        LogWithoutEnd(output, mailFrom);
        LogWithoutEnd(output, rcptTo);
        const std::string batch = std::string(mailFrom) + rcptTo + "DATA\r\n";
        if (!x.SendLogged(batch.c_str(), "mailfrom send", false))
            return DialogueResult::kNetworkFailed;
        struct Pending {
            const char *recvStep;
            long low, high;
        } pending[] = {{"mailfrom recv", 250, 250}, {"rcpt recv", 250, 299}, {"data recv", 354, 354}};
        bool refused = false;
        DialogueResult refusal = DialogueResult::kRejected;
        for (const Pending &step : pending) {
            if (!read(step.recvStep))
                return DialogueResult::kNetworkFailed;
            const bool accepted = x.Accepted(step.low, step.high);
            if (step.recvStep == pending[2].recvStep && accepted && refused) {
                // DATA was taken although the message has nowhere to go: end the empty
                // data at once, before anything else.
                if (!x.SendLogged(".\r\n", "eom send", false) || !read("eom recv"))
                    return DialogueResult::kNetworkFailed;
                return refusal;
            }
            if (!accepted && !refused) {
                refused = true;
                refusal = x.Rejected();
                if (refusal == DialogueResult::kServiceClosing)
                    return refusal;
            }
        }
        if (refused)
            return refusal;
    } else {
        struct Step {
            const char *command;
            const char *sendStep;
            const char *recvStep;
            long low, high;
            bool logged;
        } steps[] = {
            {mailFrom, "mailfrom send", "mailfrom recv", 250, 250, true},
            {rcptTo, "rcpt send", "rcpt recv", 250, 299, true},
            {"DATA\r\n", "data send", "data recv", 354, 354, false},
        };
        for (const Step &step : steps) {
            if (!x.SendLogged(step.command, step.sendStep, step.logged) || !read(step.recvStep))
                return DialogueResult::kNetworkFailed;
            if (!x.Accepted(step.low, step.high))
                return x.Rejected();
        }
    }

    DialogueResult content = SendMessageContent(x, message, now, pipelined);
    if (content != DialogueResult::kDone)
        return content;
    if (!read("eom recv"))
        return DialogueResult::kNetworkFailed;
    return x.Accepted(250, 299) ? DialogueResult::kDone : x.Rejected();
}

DialogueResult SendReset(WireConnection &connection, WireOutput &output)
{
    Exchange x{connection, output, {}};
    if (!x.SendLogged("RSET\r\n", "rset send", true) || !x.ReadComplete("rset recv"))
        return DialogueResult::kNetworkFailed;
    return x.Accepted(250, 250) ? DialogueResult::kDone : x.Rejected();
}

void SendQuit(WireConnection &connection, WireOutput &output, bool completeReply)
{
    Exchange x{connection, output, {}};
    if (x.SendLogged("QUIT\r\n", "quit send", false)) {
        char reply[kReplyBufferSize];
        if (completeReply ? ReadCompleteReply(connection, reply) : ReadReply(connection, reply))
            output.Log(reply);
    }
}

DialogueResult RunSmtpDialogue(WireConnection &connection, WireOutput &output, const SmtpMessage &message,
                               const DateTime &now)
{
    Exchange x{connection, output, {}};
    char command[kCommandBufferSize];
    // One message per connection: a closing server is one more refusal here.
    auto plainResult = [](DialogueResult r) {
        return r == DialogueResult::kServiceClosing ? DialogueResult::kRejected : r;
    };

    // A plain connection without sign-in keeps the dialogue exactly as it always was.
    const bool secured = message.security != SmtpSecurity::kPlain || WantsSignIn(message);
    if (secured) {
        DialogueResult opening = SecuredOpening(x, message, nullptr);
        if (opening != DialogueResult::kDone)
            return plainResult(opening);
    } else {
        // 1: greeting.
        if (!x.Read("recv"))
            return DialogueResult::kNetworkFailed;
        if (!x.Accepted(220, 220))
            return plainResult(x.Rejected());
        // 2: HELO.
        FormatBounded(command, "HELO %s\r\n", message.localHost != nullptr ? message.localHost : "");
        if (!x.SendLogged(command, "hello send", true) || !x.Read("hello recv"))
            return DialogueResult::kNetworkFailed;
        if (!x.Accepted(250, 250))
            return plainResult(x.Rejected());
    }

    DialogueResult transaction = SendMailTransaction(connection, output, message, now, false, secured);
    if (transaction != DialogueResult::kDone)
        return plainResult(transaction);

    // QUIT. The server has taken the message with its reply to the end of data, so
    // nothing that goes wrong from here on makes it a failure: reporting one would
    // queue the same page again. A failed send is still logged.
    SendQuit(connection, output, false);
    return DialogueResult::kDone;
}

} // namespace quillon::wire
