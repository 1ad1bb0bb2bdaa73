#include "scheduler/shell/watch_page_dialog.h"

#include "common/page_door.h"
#include "common/watch_address.h"
#include "resources/resource_ids.h"
#include "webflat/webflat_loader.h"

namespace quillon {
namespace {

struct WatchData {
    HMODULE resources;
    std::string *address;
};

INT_PTR CALLBACK WatchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *data = reinterpret_cast<WatchData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SendDlgItemMessageA(dialog, IDC_WATCH_ADDRESS, EM_LIMITTEXT, 2048, 0);
        SetForegroundWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        if (data == nullptr)
            break;
        if (LOWORD(wParam) == IDOK) {
            char typed[2050] = {};
            GetDlgItemTextA(dialog, IDC_WATCH_ADDRESS, typed, sizeof typed);
            const std::string address = WatchableAddress(typed);
            if (address.empty()) {
                ShowDoorMessage(dialog, data->resources, IDS_WATCH_BAD_ADDRESS, MB_OK | MB_ICONEXCLAMATION);
                SetFocus(GetDlgItem(dialog, IDC_WATCH_ADDRESS));
                return TRUE;
            }
            *data->address = address;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

INT_PTR RunWatchPageDialog(HWND owner, HMODULE resources, std::string *address)
{
    WatchData data{resources, address};
    return DialogBoxParamA(resources, MAKEINTRESOURCEA(IDD_WATCH_PAGE), owner, WatchProc,
                           reinterpret_cast<LPARAM>(&data));
}

void WatchPage(HWND owner, HMODULE resources, const std::string &helpFilePath, ITasqeduleUI *schedule)
{
    try {
        std::string address;
        if (RunWatchPageDialog(owner, resources, &address) != IDOK)
            return;
        const long room = LoadPageDoorSettings().maxMessageLength;
        PageExtraction page;
        page.result = ExtractPageTexts(address, nullptr, static_cast<int32_t>(room), &page.body, &page.heading);
        PageDoorRequest request;
        request.extraction = &page;
        request.owner = owner;
        request.resources = resources;
        request.helpFilePath = helpFilePath;
        request.address = address;
        request.schedule = schedule;
        OfferPageTask(request);
    } catch (...) {
        // Nothing of a failed command may reach the window procedure that runs it.
    }
}

} // namespace quillon
