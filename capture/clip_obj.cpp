#include "capture/clip_obj.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "capture/capture_selection.h"
#include "capture/clipnet_module.h"
#include "capture/clipnet_ids.h"
#include "common/module_path.h"
#include "common/text.h"
#include "common/window_support.h"
#include "resources/resource_ids.h"

namespace quillon::capture {
namespace {

// Frames whose subclass is in place, for the messages that still reach MyWndProc after
// WM_DESTROY removed the property (WM_NCDESTROY through a later subclasser). Browser
// windows may run on several threads of one process.
std::mutex subclassLock;
std::map<HWND, ClipObj *> subclassed;

ClipObj *SubclassOwner(HWND window)
{
    std::lock_guard<std::mutex> guard(subclassLock);
    auto found = subclassed.find(window);
    return found == subclassed.end() ? nullptr : found->second;
}

// A reference held for the length of a call that may end the object's other ones.
ComPtr<ClipObj> HoldReference(ClipObj *object)
{
    object->AddRef();
    ComPtr<ClipObj> held;
    held.Attach(object);
    return held;
}

} // namespace

ClipObj::ClipObj() : ComObject(nullptr, IID_IObjectWithSite) {}

ClipObj::~ClipObj()
{
    schedule_.Reset();
    textLibrary_.Unload();
    browser_.Reset();
    site_.Reset();
}

HRESULT ClipObj::Create(REFIID riid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    ClipObj *created = new (std::nothrow) ClipObj();
    if (created == nullptr)
        return E_OUTOFMEMORY;
    return HandOut(created, riid, object);
}

bool ClipObj::LoadTextLibrary()
{
    // The library lies beside the resource module, which lies beside the add-in.
    WebFlatLibrary library;
    // A library without PageFlat, which the capture calls, is as useless as none.
    if (!library.LoadBesideModule(Module().resources) || !library.HasPageFlat()) {
        const std::string path = WebFlatLibrary::PathBesideModule(Module().resources);
        MessageBoxA(nullptr, path.c_str(), "CLIPNET Load Error", MB_OK);
        return false;
    }
    // A library loaded for an earlier site stays until this one is in hand.
    textLibrary_ = std::move(library);
    return true;
}

HRESULT STDMETHODCALLTYPE ClipObj::SetSite(IUnknown *site)
{
    if (site == nullptr)
        return S_OK;
    browser_.Reset();
    site->QueryInterface(IID_IWebBrowser2, browser_.PutVoid());

    std::string hostPath = ModuleFilePath(nullptr);

    if (!LoadTextLibrary())
        return E_FAIL;

    // Only the program's path is put in capitals; BrowserName is compared as stored.
    for (char &c : hostPath)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (hostPath.find(Module().settings.browserName) != std::string::npos && browser_) {
        SHANDLE_PTR handle = 0;
        if (SUCCEEDED(browser_->get_HWND(&handle)) && handle != 0)
            Subclass(reinterpret_cast<HWND>(handle));
    }
    return S_OK;
}

void ClipObj::Subclass(HWND frame)
{
    // Subclassing the same frame twice would make the procedure forward to itself.
    if (subclassed_ || GetPropA(frame, kClipnetProperty) != nullptr)
        return;
    frame_ = frame;
    frameIsUnicode_ = IsWindowUnicode(frame) != FALSE;
    const LONG_PTR procedure = reinterpret_cast<LONG_PTR>(&MyWndProc);
    previous_ = reinterpret_cast<WNDPROC>(frameIsUnicode_ ? SetWindowLongPtrW(frame, GWLP_WNDPROC, procedure)
                                                          : SetWindowLongPtrA(frame, GWLP_WNDPROC, procedure));
    if (previous_ == nullptr)
        return;
    subclassed_ = true;
    AddRef(); // the subclass's own reference
    {
        std::lock_guard<std::mutex> guard(subclassLock);
        subclassed[frame] = this;
    }
    SetPropA(frame, kClipnetProperty, static_cast<HANDLE>(this));
}

void ClipObj::EndSubclass()
{
    if (!subclassed_)
        return;
    subclassed_ = false;
    {
        std::lock_guard<std::mutex> guard(subclassLock);
        subclassed.erase(frame_);
    }
    Release();
}

HRESULT STDMETHODCALLTYPE ClipObj::GetSite(REFIID riid, void **site)
{
    if (site == nullptr)
        return E_POINTER;
    *site = nullptr;
    if (!site_)
        return E_FAIL;
    return site_->QueryInterface(riid, site);
}

ITasqeduleUI *ClipObj::Schedule()
{
    if (!schedule_) {
        CoCreateInstance(CLSID_TasqeduleUI, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                         IID_ITasqeduleUI, schedule_.PutVoid());
    }
    return schedule_.Get();
}

LRESULT ClipObj::Forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const
{
    return frameIsUnicode_ ? CallWindowProcW(previous_, window, message, wParam, lParam)
                           : CallWindowProcA(previous_, window, message, wParam, lParam);
}

LRESULT ClipObj::Destroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Keep this object alive to the end of this call whatever the forward does.
    const ComPtr<ClipObj> held = HoldReference(this);
    LRESULT result = 0;
    if (message == WM_DESTROY) {
        RemovePropA(window, kClipnetProperty);
        result = Forward(window, message, wParam, lParam);
        // Put the predecessor back only while this procedure is the window's: someone
        // who subclassed after the add-in and is still in place must not be cut out.
        const LONG_PTR current = frameIsUnicode_ ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                                 : GetWindowLongPtrA(window, GWLP_WNDPROC);
        if (current == reinterpret_cast<LONG_PTR>(&MyWndProc)) {
            const LONG_PTR previous = reinterpret_cast<LONG_PTR>(previous_);
            if (frameIsUnicode_)
                SetWindowLongPtrW(window, GWLP_WNDPROC, previous);
            else
                SetWindowLongPtrA(window, GWLP_WNDPROC, previous);
            EndSubclass();
        }
    } else {
        result = Forward(window, message, wParam, lParam);
        EndSubclass(); // WM_NCDESTROY: the window is gone
    }
    return result;
}

} // namespace quillon::capture

namespace quillon::capture {
namespace {

// MyWndProc's work. It runs inside the browser's window procedure and allocates, so
// MyWndProc guards it: a message whose handling threw answers 0.
LRESULT HandleFrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ClipObj *object = static_cast<ClipObj *>(GetPropA(window, kClipnetProperty));
    if (object == nullptr)
        object = SubclassOwner(window);
    if (object == nullptr)
        return IsWindowUnicode(window) ? DefWindowProcW(window, message, wParam, lParam)
                                       : DefWindowProcA(window, message, wParam, lParam);

    auto &module = Module();
    if (message == module.updateMessage && message != 0) {
        LoadCaptureSettings(&module.settings);
        return 0;
    }
    switch (message) {
    case WM_INITMENUPOPUP: {
        if (HIWORD(lParam) != 0)
            break;
        const LRESULT result = object->Forward(window, message, wParam, lParam);
        HMENU popup = reinterpret_cast<HMENU>(wParam);
        const auto &settings = module.settings;
        if (GetMenuState(popup, static_cast<UINT>(settings.toolsMarkerId), MF_BYCOMMAND) == static_cast<UINT>(-1))
            return result;
        if (GetMenuState(popup, static_cast<UINT>(settings.menuCommandId), MF_BYCOMMAND) != static_cast<UINT>(-1))
            return result;
        if (LoadStringA(module.resources, IDS_TOOLS_MENU_ITEM, module.menuText, sizeof module.menuText) <= 0)
            module.menuText[0] = '\0';
        AppendMenuA(popup, MF_STRING, static_cast<UINT_PTR>(settings.menuCommandId), module.menuText);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == static_cast<WORD>(module.settings.menuCommandId)) {
            // The capture runs modal dialogs; the object must outlive them even if the
            // frame is destroyed meanwhile.
            const ComPtr<ClipObj> held = HoldReference(object);
            CaptureSelection(*object);
            return 0;
        }
        break;
    case WM_DESTROY:
    case WM_NCDESTROY:
        return object->Destroy(window, message, wParam, lParam);
    default:
        break;
    }
    return object->Forward(window, message, wParam, lParam);
}

} // namespace
} // namespace quillon::capture

extern "C" LRESULT CALLBACK MyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return quillon::GuardedWindowProc<quillon::capture::HandleFrameMessage>(window, message, wParam, lParam);
}
