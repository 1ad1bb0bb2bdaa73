// The page sender quillon.exe with the real WEBFLAT.DLL beside it in the installation
// folder, started as the scheduler starts it: a page served over loopback HTTP (on
// 127.0.0.62) and a local file are queued as messages a person can read, cut at word
// and block boundaries, with the page title as the first message's subject, and a
// selection descriptor picks the selected part.
#include "tests/webflat/loopback_http_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "tests/support/mail_queue.h"
#include "tests/support/wine_test_support.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr DWORD kSucceeded = 0xFFFFFFFFu;
constexpr char kTaskKey[] = "2026 12 10 11 0 0";

using Message = QueuedMessage;

// Queued messages in key-name order (which is time order).
std::vector<Message> Queue()
{
    std::vector<QueuedMessage> queue = ReadQueuedMessages();
    for (const QueuedMessage &m : queue)
        EXPECT_TRUE(m.opened) << m.name;
    return queue;
}

void Write(const char *path, const char *name, const std::string &value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(path, &key));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString(name, value));
}

void WriteNumber(const char *path, const char *name, DWORD value)
{
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateUserKey(path, &key));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(name, value));
}

// Runs one page task and returns its messages.
std::vector<Message> RunPageTask(const std::string &selection, const char *maxMsgLen)
{
    ResetProductRegistry();
    EXPECT_TRUE(WriteConfigurationRows({Number(config_values::kMailSystem, 0),
                                        Text(config_values::kSender, "me@example.test"),
                                        Text(config_values::kDestination, "pager@example.test"),
                                        Text(config_values::kMaxMsgLen, maxMsgLen)}));
    const std::string task = std::string(kTasksKeyPath) + "\\" + kTaskKey;
    Write(task.c_str(), task_values::kSelection, selection);
    WriteNumber(task.c_str(), task_values::kChopMessage, 1);
    ProcessResult result = RunProcess("\"" + BinDir() + "\\quillon.exe\" " + kTaskKey, 30000, BinDir().c_str());
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, kSucceeded) << selection;
    std::vector<Message> queue = Queue();
    ResetProductRegistry();
    return queue;
}

const char kArticle[] =
    "<html><head><title>Harbour news</title><style>p{color:red}</style></head><body>"
    "<div id=nav><a href=/>Home</a> | <a href=/x>Archive</a></div>"
    "<h1>Ferry times change</h1>"
    "<p>From Monday the morning ferry leaves at 7:15 instead of 7:00, and the evening ferry at 18:40.</p>"
    "<p>Tickets bought before the change stay valid &amp; can be used on any crossing.</p>"
    "<script>document.write('<p>tracking</p>')</script></body></html>";

// The messages, joined again with one space each, give the page's text: so every cut
// fell on a space between words or blocks, never inside a word.
void ExpectReadableMessages(const std::vector<Message> &queue, size_t maxLen, const std::string &page)
{
    ASSERT_FALSE(queue.empty());
    EXPECT_EQ(queue[0].subject, "Harbour news");
    std::string joined;
    for (size_t i = 0; i < queue.size(); ++i) {
        const Message &m = queue[i];
        if (i > 0) {
            EXPECT_EQ(m.subject, "");
            joined += ' ';
        }
        EXPECT_LE(m.body.size(), maxLen) << m.body;
        EXPECT_EQ(m.body.find('\x01'), std::string::npos) << m.body;
        EXPECT_NE(m.body.front(), ' ') << m.body;
        joined += m.body;
    }
    EXPECT_EQ(joined, page);
}

TEST(PageSenderWithTheLibrary, QueuesAReadablePageFromHttpAndFromAFile)
{
    const std::string text = "Home | Archive Ferry times change From Monday the morning ferry leaves at 7:15 instead "
                             "of 7:00, and the evening ferry at 18:40. Tickets bought before the change stay valid & "
                             "can be used on any crossing.";
    LoopbackHttpServer server("127.0.0.62",
                              {{"/news.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", kArticle)}});
    ASSERT_FALSE(server.Base().empty());
    std::vector<Message> fromWeb = RunPageTask("\"" + server.Base() + "/news.htm\"", "40");
    ExpectReadableMessages(fromWeb, 40, text);

    const std::string dir = MakeScratchDir("webflat_page_sender");
    const std::string path = dir + "\\News.htm";
    ASSERT_TRUE(WriteWholeFile(path, kArticle));
    std::vector<Message> fromFile = RunPageTask("\"" + path + "\"", "40");
    ExpectReadableMessages(fromFile, 40, text);
    ASSERT_EQ(fromFile.size(), fromWeb.size());
    for (size_t i = 0; i < fromFile.size(); ++i)
        EXPECT_EQ(fromFile[i].body, fromWeb[i].body);
}

TEST(PageSenderWithTheLibrary, TheDescriptorPicksTheSelectedPart)
{
    LoopbackHttpServer server("127.0.0.62",
                              {{"/news.htm", HttpResponse("200 OK", "Content-Type: text/html\r\n", kArticle)}});
    // The second paragraph: BODY's children are the div, the heading, two paragraphs and
    // the script.
    std::vector<Message> queue =
        RunPageTask("\"" + server.Base() + "/news.htm\" (<,,,<0,-1>,>)", "160");
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].subject, "Harbour news");
    EXPECT_EQ(queue[0].body, "Tickets bought before the change stay valid & can be used on any crossing.");
}

} // namespace
