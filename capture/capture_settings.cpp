#include "capture/capture_settings.h"

#include <cstring>

#include "common/names.h"
#include "common/config/configuration_key.h"
#include "common/config/shared_settings.h"

namespace quillon::capture {

void LoadCaptureSettings(CaptureSettings *settings)
{
    ConfigurationKey key;
    key.Open();
    if (ReadMessageRoom(key, &settings->maxMessageLength) != MessageRoomRead::kRoom)
        return;
    char text[kTextBufferSize] = {};
    if (key.ReadText(config_values::kMyMenuId, text))
        settings->menuCommandId = DecimalTextValue(text);
    if (key.ReadText(config_values::kIEMenuId, text))
        settings->toolsMarkerId = DecimalTextValue(text);
    bool clipSubject;
    if (ReadClipSubject(key, &clipSubject))
        settings->clipSubject = clipSubject ? 1 : 0;
    if (key.HasData(config_values::kBrowserName) && key.ReadText(config_values::kBrowserName, text))
        CopyBounded(settings->browserName, text);
}

} // namespace quillon::capture
