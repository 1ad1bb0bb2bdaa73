#include "schedule/dialogs/dialog_support.h"

#include "common/handles.h"
#include "common/html_help.h"
#include "common/text.h"
#include "common/win_datetime.h"

namespace quillon {

std::string LoadResourceText(HINSTANCE module, unsigned id)
{
    char buffer[kTextBufferSize] = {};
    if (module == nullptr || LoadStringA(module, id, buffer, sizeof buffer) <= 0)
        return std::string();
    return buffer;
}

std::string FormatShortDate(const DateTime &dt)
{
    if (!IsValidDateTime(dt))
        return std::string();
    SYSTEMTIME st = ToSystemTime(dt);
    char buffer[kTextBufferSize] = {};
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer) <= 0)
        return std::string();
    return buffer;
}

std::string FormatTimeNoSeconds(const DateTime &dt)
{
    if (!IsValidDateTime(dt))
        return std::string();
    SYSTEMTIME st = ToSystemTime(dt);
    char buffer[kTextBufferSize] = {};
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, buffer, sizeof buffer) <= 0)
        return std::string();
    return buffer;
}

bool HandleContextHelp(HWND dialog, UINT message, WPARAM wParam, const char *helpFilePath, DWORD context)
{
    bool isHelp = (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CONTEXTHELP) || message == WM_HELP;
    if (!isHelp)
        return false;
    ShowHelpContext(dialog, helpFilePath, context);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    return true;
}

} // namespace quillon
