// The add-in's settings from the Configuration key, shared by every browser window of
// the process. They are read at load and again on every "quillon:msg:updateconfig"; a
// value missing at a reload keeps what an earlier load gave it.
#pragma once

#include <cstdint>

#include "common/text.h"

namespace quillon::capture {

struct CaptureSettings {
    // MaxMsgLen less the stored size of Sender (its length and terminating zero); with
    // MailSystem 2 (push notification) all of MaxMsgLen.
    long maxMessageLength = 500;
    // MyMenuId: command id of the "Quillon..." item appended to the Tools menu.
    long menuCommandId = 39999;
    // IEMenuId: a command the browser's own Tools menu holds; a popup with it is Tools.
    long toolsMarkerId = 41334;
    // ClipSubject: nonzero drops the page title from the extracted text.
    uint32_t clipSubject = 0;
    // BrowserName: upper-case executable name of the host browser, matched as a
    // case-sensitive part of the upper-cased host path (so a lower-case name never
    // matches and an empty one matches every host).
    char browserName[kTextBufferSize] = "IEXPLORE.EXE";
};

// Reads the Configuration values over *settings. Stops, keeping the rest as they are,
// when MaxMsgLen is missing (nothing changes) or Sender is missing (only the length
// changes).
void LoadCaptureSettings(CaptureSettings *settings);

} // namespace quillon::capture
