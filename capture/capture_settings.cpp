#include "capture/capture_settings.h"

#include <cstring>

#include "common/names.h"
#include "scheduler/config/config_registry.h"

namespace quillon::capture {

void LoadCaptureSettings(CaptureSettings *settings)
{
    char text[kTextBufferSize] = {};
    if (!ReadConfigText(config_values::kMaxMsgLen, text))
        return;
    settings->maxMessageLength = DecimalTextValue(text);
    // A push notification carries no sender in its text: the room is the whole length.
    if (ReadConfigNumber(config_values::kMailSystem, kMailSystemSmtp) != kMailSystemPush) {
        if (!ReadConfigText(config_values::kSender, text))
            return;
        settings->maxMessageLength -= static_cast<long>(std::strlen(text) + 1);
    }
    if (ReadConfigText(config_values::kMyMenuId, text))
        settings->menuCommandId = DecimalTextValue(text);
    if (ReadConfigText(config_values::kIEMenuId, text))
        settings->toolsMarkerId = DecimalTextValue(text);
    settings->clipSubject = ReadConfigNumber(config_values::kClipSubject, settings->clipSubject);
    if (ConfigValueHasData(config_values::kBrowserName) && ReadConfigText(config_values::kBrowserName, text))
        CopyBounded(settings->browserName, text);
}

} // namespace quillon::capture
