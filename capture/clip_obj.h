// ClipObj, the Browser Helper Object: the browser creates one per browser window and hands
// it the window's site through IObjectWithSite::SetSite. In the configured browser it then
// subclasses the frame window with MyWndProc, which appends "Quillon..." to the Tools menu
// and runs CaptureSelection when it is chosen.
//
// Lifetime against the subclass: while MyWndProc is installed on a frame window, the
// subclass holds its own reference to the object, so everything the window procedure
// reads (the previous procedure, the frame, the text library, the browser) stays valid
// even after the browser has cleared the site and released the object. The reference is
// dropped when the subclass ends: at WM_DESTROY when the add-in's procedure is still the
// window's, or at WM_NCDESTROY when someone who subclassed after it is still in place.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include "capture/clipnet_module.h"
#include "common/com_object.h"
#include "common/handles.h"
#include "tasqui_h.h"
#include "webflat/webflat_loader.h"

namespace quillon::capture {

// The window property that carries the subclassing object.
constexpr char kClipnetProperty[] = "ClipnetPrivateProperty";

class ClipObj final : public ComObject<IObjectWithSite, &LockModule, &UnlockModule> {
public:
    // A new object queried for riid (the class factory's work; no aggregation).
    static HRESULT Create(REFIID riid, void **object);

    // IObjectWithSite (IUnknown comes from ComObject: IUnknown and IObjectWithSite only)
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown *site) override;
    HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void **site) override;

    // What the window procedure and the capture read.
    HWND Frame() const { return frame_; }
    IWebBrowser2 *Browser() const { return browser_.Get(); }
    // WEBFLAT.DLL, held from a successful SetSite on; it has PageFlat and WebFlatFree.
    const WebFlatLibrary &TextLibrary() const { return textLibrary_; }
    // The schedule component, created at the first submission and kept.
    ITasqeduleUI *Schedule();

    // Calls the procedure this object replaced, in the frame's character set.
    LRESULT Forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const;
    // WM_DESTROY and WM_NCDESTROY handling of the subclass (see the header comment).
    LRESULT Destroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    ClipObj();
    ~ClipObj() override;
    ClipObj(const ClipObj &) = delete;
    ClipObj &operator=(const ClipObj &) = delete;

    bool LoadTextLibrary();
    void Subclass(HWND frame);
    void EndSubclass();

    ComPtr<IUnknown> site_; // the standard site field; SetSite keeps browser_ instead
    WNDPROC previous_ = nullptr;
    ComPtr<IWebBrowser2> browser_;
    HWND frame_ = nullptr;
    WebFlatLibrary textLibrary_;
    ComPtr<ITasqeduleUI> schedule_;
    // Whether the frame is a Unicode window; kept per object, since two frames of one
    // process need not agree.
    bool frameIsUnicode_ = false;
    bool subclassed_ = false;
};

// The class object for CLSID_ClipObj.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void **object);

} // namespace quillon::capture

extern "C" LRESULT CALLBACK MyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
