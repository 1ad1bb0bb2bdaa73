/* A fake browser for the add-in's in-host tests: a site whose IWebBrowser2 answers
 * get_HWND with a frame window and get_Document with an in-memory HTML document over a
 * FakePage (fake_page.h). The document implements what the add-in and PageFlat call
 * (document, selection, text range, element, element collection, frames); everything
 * else answers E_NOTIMPL. Every fake object counts towards FakeBrowserLiveObjects until
 * its last reference is released, so tests can check that nothing leaks. */
#pragma once

#include <windows.h>

#include "tests/capture/fake_page.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A site (one reference for the caller) for a browser window with the given frame,
 * page (borrowed: it must outlive every fake object) and address. */
IUnknown *CreateFakeSite(HWND frame, FakePage *page, const wchar_t *url);

/* Fake objects alive now. */
long FakeBrowserLiveObjects(void);

#ifdef __cplusplus
}
#endif
