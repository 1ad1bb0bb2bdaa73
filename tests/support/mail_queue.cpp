#include "tests/support/mail_queue.h"

#include "queue/message_queue.h"

namespace quillon::test {

std::vector<QueuedMessage> ReadQueuedMessages()
{
    std::vector<QueuedMessage> queue;
    for (QueuedMessageRecord &record : ReadWholeQueue()) {
        QueuedMessage message;
        message.name = std::move(record.keyName);
        message.opened = record.opened;
        if (record.hasRetryCount)
            message.retryCount = record.retryCount;
        message.hasRetryTime = record.hasRetryTime;
        if (record.hasRetryTime)
            message.retryTime = record.retryTime;
        message.subject = std::move(record.subject);
        message.body = std::move(record.body);
        queue.push_back(std::move(message));
    }
    return queue;
}

} // namespace quillon::test
