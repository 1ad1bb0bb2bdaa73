#include "tests/support/mail_queue.h"

#include "common/names.h"
#include "common/registry.h"

namespace quillon::test {

std::vector<QueuedMessage> ReadQueuedMessages()
{
    std::vector<QueuedMessage> queue;
    RegistryKey mail;
    if (OpenUserKey(kMailKeyPath, &mail) != ERROR_SUCCESS)
        return queue;
    std::string name;
    for (DWORD i = 0; mail.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i) {
        QueuedMessage message;
        message.name = name;
        RegistryKey key;
        message.opened = key.Open(mail.Get(), name.c_str()) == ERROR_SUCCESS;
        if (message.opened) {
            key.ReadDword(mail_values::kRetryCount, &message.retryCount);
            message.hasRetryTime = key.ReadBinary(mail_values::kRetryTime, &message.retryTime,
                                                  sizeof message.retryTime) == ERROR_SUCCESS;
            key.ReadString(mail_values::kSubject, &message.subject);
            key.ReadString(mail_values::kBody, &message.body);
        }
        queue.push_back(message);
    }
    return queue;
}

} // namespace quillon::test
