/* The fake browser of fake_browser.h, in C so the large vtables can be filled with one
 * stub and only the methods the add-in and PageFlat use are real. */
#define COBJMACROS
#define CINTERFACE
#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>
#include <oleauto.h>

#include <stdlib.h>
#include <string.h>

#include "tests/capture/fake_browser.h"

static LONG liveObjects = 0;

long FakeBrowserLiveObjects(void) { return liveObjects; }

static HRESULT STDMETHODCALLTYPE NotImplemented(void) { return E_NOTIMPL; }

static void FillWithStub(void *vtable, size_t size)
{
    void **slots = (void **)vtable;
    size_t i;
    for (i = 0; i < size / sizeof(void *); ++i)
        slots[i] = (void *)NotImplemented;
}

/* Every fake object starts with its interface pointer, then this header. */
typedef struct {
    void *vtbl;
    LONG refs;
    FakePage *page;
} FakeHeader;

static void *NewObject(size_t size, void *vtbl, FakePage *page)
{
    FakeHeader *object = (FakeHeader *)calloc(1, size);
    object->vtbl = vtbl;
    object->refs = 1;
    object->page = page;
    InterlockedIncrement(&liveObjects);
    return object;
}

static ULONG STDMETHODCALLTYPE AddRefObject(void *self) { return (ULONG)InterlockedIncrement(&((FakeHeader *)self)->refs); }

static ULONG STDMETHODCALLTYPE ReleaseObject(void *self)
{
    FakeHeader *object = (FakeHeader *)self;
    LONG left = InterlockedDecrement(&object->refs);
    if (left == 0) {
        InterlockedDecrement(&liveObjects);
        free(object);
    }
    return (ULONG)left;
}

/* QueryInterface for an object with one interface (and IUnknown, IDispatch). */
static HRESULT Answer(void *self, REFIID riid, REFIID own, void **result)
{
    if (result == NULL)
        return E_POINTER;
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, own)) {
        *result = self;
        AddRefObject(self);
        return S_OK;
    }
    *result = NULL;
    return E_NOINTERFACE;
}

static BSTR WideText(const wchar_t *text, size_t length) { return SysAllocStringLen(text, (UINT)length); }

static BSTR AnsiText(const char *text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    BSTR result = SysAllocStringLen(NULL, (UINT)(length > 0 ? length - 1 : 0));
    if (result != NULL && length > 1)
        MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
    return result;
}

/* ---- element --------------------------------------------------------------------- */

typedef struct {
    FakeHeader h;
    int node;
} FakeElement;

typedef struct {
    FakeHeader h;
    int node;
} FakeCollection;

static IHTMLElementVtbl elementVtbl;
static IHTMLElementCollectionVtbl collectionVtbl;

static IHTMLElement *NewElement(FakePage *page, int node)
{
    FakeElement *element = (FakeElement *)NewObject(sizeof(FakeElement), &elementVtbl, page);
    element->node = node;
    return (IHTMLElement *)element;
}

static HRESULT STDMETHODCALLTYPE ElementQueryInterface(IHTMLElement *self, REFIID riid, void **result)
{
    return Answer(self, riid, &IID_IHTMLElement, result);
}

static HRESULT STDMETHODCALLTYPE ElementInnerText(IHTMLElement *self, BSTR *text)
{
    FakeElement *e = (FakeElement *)self;
    size_t length = 0;
    const wchar_t *t = FakePageElementText(e->h.page, e->node, &length);
    *text = WideText(t, length);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE ElementTagName(IHTMLElement *self, BSTR *name)
{
    FakeElement *e = (FakeElement *)self;
    *name = AnsiText(FakePageTag(e->h.page, e->node));
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE ElementParent(IHTMLElement *self, IHTMLElement **parent)
{
    FakeElement *e = (FakeElement *)self;
    int node = FakePageParent(e->h.page, e->node);
    *parent = node < 0 ? NULL : NewElement(e->h.page, node);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE ElementChildren(IHTMLElement *self, IDispatch **children)
{
    FakeElement *e = (FakeElement *)self;
    FakeCollection *c = (FakeCollection *)NewObject(sizeof(FakeCollection), &collectionVtbl, e->h.page);
    c->node = e->node;
    *children = (IDispatch *)c;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE ElementSourceIndex(IHTMLElement *self, long *index)
{
    *index = ((FakeElement *)self)->node;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE ElementOuterHtml(IHTMLElement *self, BSTR *html)
{
    FakeElement *e = (FakeElement *)self;
    size_t length = 0;
    const wchar_t *markup;
    if (e->node != FakePageRoot(e->h.page))
        return E_NOTIMPL;
    markup = FakePageMarkup(e->h.page, &length);
    *html = WideText(markup, length);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE CollectionQueryInterface(IHTMLElementCollection *self, REFIID riid, void **result)
{
    return Answer(self, riid, &IID_IHTMLElementCollection, result);
}

static HRESULT STDMETHODCALLTYPE CollectionLength(IHTMLElementCollection *self, long *length)
{
    FakeCollection *c = (FakeCollection *)self;
    *length = FakePageChildCount(c->h.page, c->node);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE CollectionItem(IHTMLElementCollection *self, VARIANT name, VARIANT index,
                                                IDispatch **item)
{
    FakeCollection *c = (FakeCollection *)self;
    int child;
    *item = NULL;
    if (V_VT(&name) != VT_I4)
        return E_INVALIDARG;
    child = FakePageChild(c->h.page, c->node, V_I4(&name));
    if (child < 0)
        return E_INVALIDARG;
    *item = (IDispatch *)NewElement(c->h.page, child);
    return S_OK;
}

/* ---- text range ------------------------------------------------------------------ */

typedef struct {
    FakeHeader h;
    size_t begin;
    size_t end;
} FakeRange;

static IHTMLTxtRangeVtbl rangeVtbl;

static IHTMLTxtRange *NewRange(FakePage *page, size_t begin, size_t end)
{
    FakeRange *range = (FakeRange *)NewObject(sizeof(FakeRange), &rangeVtbl, page);
    range->begin = begin;
    range->end = end;
    return (IHTMLTxtRange *)range;
}

static FakeRange *AsRange(IHTMLTxtRange *range)
{
    return range != NULL && range->lpVtbl == &rangeVtbl ? (FakeRange *)range : NULL;
}

static HRESULT STDMETHODCALLTYPE RangeQueryInterface(IHTMLTxtRange *self, REFIID riid, void **result)
{
    return Answer(self, riid, &IID_IHTMLTxtRange, result);
}

static HRESULT STDMETHODCALLTYPE RangeText(IHTMLTxtRange *self, BSTR *text)
{
    FakeRange *r = (FakeRange *)self;
    size_t length = 0;
    const wchar_t *body = FakePageBodyText(r->h.page, &length);
    *text = WideText(body + r->begin, r->end - r->begin);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE RangeParent(IHTMLTxtRange *self, IHTMLElement **parent)
{
    FakeRange *r = (FakeRange *)self;
    *parent = NewElement(r->h.page, FakePageElementAround(r->h.page, r->begin, r->end));
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE RangeDuplicate(IHTMLTxtRange *self, IHTMLTxtRange **copy)
{
    FakeRange *r = (FakeRange *)self;
    *copy = NewRange(r->h.page, r->begin, r->end);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE RangeMoveToElementText(IHTMLTxtRange *self, IHTMLElement *element)
{
    FakeRange *r = (FakeRange *)self;
    if (element == NULL || element->lpVtbl != &elementVtbl)
        return E_INVALIDARG;
    FakePageSpan(r->h.page, ((FakeElement *)element)->node, &r->begin, &r->end);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE RangeInRange(IHTMLTxtRange *self, IHTMLTxtRange *other, VARIANT_BOOL *inside)
{
    FakeRange *r = (FakeRange *)self;
    FakeRange *o = AsRange(other);
    if (o == NULL)
        return E_INVALIDARG;
    *inside = r->begin <= o->begin && o->end <= r->end ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE RangeCompareEndPoints(IHTMLTxtRange *self, BSTR how, IHTMLTxtRange *other,
                                                       long *order)
{
    FakeRange *r = (FakeRange *)self;
    FakeRange *o = AsRange(other);
    size_t mine, theirs;
    if (o == NULL || how == NULL)
        return E_INVALIDARG;
    if (lstrcmpiW(how, L"StartToEnd") == 0) {
        mine = r->begin;
        theirs = o->end;
    } else if (lstrcmpiW(how, L"StartToStart") == 0) {
        mine = r->begin;
        theirs = o->begin;
    } else if (lstrcmpiW(how, L"EndToEnd") == 0) {
        mine = r->end;
        theirs = o->end;
    } else if (lstrcmpiW(how, L"EndToStart") == 0) {
        mine = r->end;
        theirs = o->begin;
    } else {
        return E_INVALIDARG;
    }
    *order = mine < theirs ? -1 : (mine > theirs ? 1 : 0);
    return S_OK;
}

/* ---- selection, frames ----------------------------------------------------------- */

static IHTMLSelectionObjectVtbl selectionVtbl;
static IHTMLFramesCollection2Vtbl framesVtbl;

static HRESULT STDMETHODCALLTYPE SelectionQueryInterface(IHTMLSelectionObject *self, REFIID riid, void **result)
{
    return Answer(self, riid, &IID_IHTMLSelectionObject, result);
}

static HRESULT STDMETHODCALLTYPE SelectionType(IHTMLSelectionObject *self, BSTR *type)
{
    size_t begin, end;
    *type = SysAllocString(FakePageSelection(((FakeHeader *)self)->page, &begin, &end) ? L"Text" : L"None");
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE SelectionCreateRange(IHTMLSelectionObject *self, IDispatch **range)
{
    FakeHeader *s = (FakeHeader *)self;
    size_t begin = 0, end = 0;
    FakePageSelection(s->page, &begin, &end);
    *range = (IDispatch *)NewRange(s->page, begin, end);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE FramesQueryInterface(IHTMLFramesCollection2 *self, REFIID riid, void **result)
{
    return Answer(self, riid, &IID_IHTMLFramesCollection2, result);
}

static HRESULT STDMETHODCALLTYPE FramesLength(IHTMLFramesCollection2 *self, long *length)
{
    *length = 0;
    return S_OK;
}

/* ---- document -------------------------------------------------------------------- */

typedef struct {
    IHTMLDocument2 document2;
    LONG refs;
    FakePage *page;
    IHTMLDocument3 document3;
    BSTR url;
} FakeDocument;

static IHTMLDocument2Vtbl document2Vtbl;
static IHTMLDocument3Vtbl document3Vtbl;

static FakeDocument *DocumentOf3(IHTMLDocument3 *self)
{
    return (FakeDocument *)((char *)self - offsetof(FakeDocument, document3));
}

static ULONG STDMETHODCALLTYPE DocumentRelease(IHTMLDocument2 *self)
{
    FakeDocument *d = (FakeDocument *)self;
    LONG left = InterlockedDecrement(&d->refs);
    if (left == 0) {
        SysFreeString(d->url);
        InterlockedDecrement(&liveObjects);
        free(d);
    }
    return (ULONG)left;
}

static HRESULT STDMETHODCALLTYPE DocumentQueryInterface(IHTMLDocument2 *self, REFIID riid, void **result)
{
    FakeDocument *d = (FakeDocument *)self;
    if (result == NULL)
        return E_POINTER;
    if (IsEqualIID(riid, &IID_IHTMLDocument3)) {
        *result = &d->document3;
        AddRefObject(d);
        return S_OK;
    }
    return Answer(self, riid, &IID_IHTMLDocument2, result);
}

static HRESULT STDMETHODCALLTYPE DocumentURL(IHTMLDocument2 *self, BSTR *url)
{
    *url = SysAllocString(((FakeDocument *)self)->url);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE DocumentSelection(IHTMLDocument2 *self, IHTMLSelectionObject **selection)
{
    *selection = (IHTMLSelectionObject *)NewObject(sizeof(FakeHeader), &selectionVtbl, ((FakeDocument *)self)->page);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE DocumentFrames(IHTMLDocument2 *self, IHTMLFramesCollection2 **frames)
{
    *frames = (IHTMLFramesCollection2 *)NewObject(sizeof(FakeHeader), &framesVtbl, ((FakeDocument *)self)->page);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Document3QueryInterface(IHTMLDocument3 *self, REFIID riid, void **result)
{
    return DocumentQueryInterface(&DocumentOf3(self)->document2, riid, result);
}
static ULONG STDMETHODCALLTYPE Document3AddRef(IHTMLDocument3 *self) { return AddRefObject(DocumentOf3(self)); }
static ULONG STDMETHODCALLTYPE Document3Release(IHTMLDocument3 *self)
{
    return DocumentRelease(&DocumentOf3(self)->document2);
}
static HRESULT STDMETHODCALLTYPE Document3Element(IHTMLDocument3 *self, IHTMLElement **root)
{
    FakeDocument *d = DocumentOf3(self);
    int node = FakePageRoot(d->page);
    *root = node < 0 ? NULL : NewElement(d->page, node);
    return node < 0 ? E_FAIL : S_OK;
}

/* ---- browser and site ------------------------------------------------------------ */

typedef struct {
    FakeHeader h;
    HWND frame;
    BSTR url;
} FakeWebBrowser;

typedef struct {
    FakeHeader h;
    IWebBrowser2 *browser;
} FakeSite;

static IWebBrowser2Vtbl browserVtbl;
static IUnknownVtbl siteVtbl;

static HRESULT STDMETHODCALLTYPE BrowserQueryInterface(IWebBrowser2 *self, REFIID riid, void **result)
{
    if (result != NULL && (IsEqualIID(riid, &IID_IWebBrowser) || IsEqualIID(riid, &IID_IWebBrowserApp))) {
        *result = self;
        AddRefObject(self);
        return S_OK;
    }
    return Answer(self, riid, &IID_IWebBrowser2, result);
}

static ULONG STDMETHODCALLTYPE BrowserRelease(IWebBrowser2 *self)
{
    FakeWebBrowser *b = (FakeWebBrowser *)self;
    if (b->h.refs == 1)
        SysFreeString(b->url);
    return ReleaseObject(self);
}

static HRESULT STDMETHODCALLTYPE BrowserHwnd(IWebBrowser2 *self, SHANDLE_PTR *handle)
{
    *handle = (SHANDLE_PTR)((FakeWebBrowser *)self)->frame;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE BrowserDocument(IWebBrowser2 *self, IDispatch **document)
{
    FakeWebBrowser *b = (FakeWebBrowser *)self;
    FakeDocument *d = (FakeDocument *)calloc(1, sizeof(FakeDocument));
    d->document2.lpVtbl = &document2Vtbl;
    d->document3.lpVtbl = &document3Vtbl;
    d->refs = 1;
    d->page = b->h.page;
    d->url = SysAllocString(b->url);
    InterlockedIncrement(&liveObjects);
    *document = (IDispatch *)&d->document2;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE SiteQueryInterface(IUnknown *self, REFIID riid, void **result)
{
    FakeSite *s = (FakeSite *)self;
    if (result == NULL)
        return E_POINTER;
    if (IsEqualIID(riid, &IID_IWebBrowser2))
        return IWebBrowser2_QueryInterface(s->browser, riid, result);
    if (IsEqualIID(riid, &IID_IUnknown)) {
        *result = self;
        AddRefObject(self);
        return S_OK;
    }
    *result = NULL;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE SiteRelease(IUnknown *self)
{
    FakeSite *s = (FakeSite *)self;
    if (s->h.refs == 1)
        IWebBrowser2_Release(s->browser);
    return ReleaseObject(self);
}

static void InitVtables(void)
{
    static LONG done = 0;
    if (InterlockedExchange(&done, 1) != 0)
        return;
    FillWithStub(&elementVtbl, sizeof elementVtbl);
    elementVtbl.QueryInterface = ElementQueryInterface;
    elementVtbl.AddRef = (void *)AddRefObject;
    elementVtbl.Release = (void *)ReleaseObject;
    elementVtbl.get_innerText = ElementInnerText;
    elementVtbl.get_tagName = ElementTagName;
    elementVtbl.get_parentElement = ElementParent;
    elementVtbl.get_children = ElementChildren;
    elementVtbl.get_sourceIndex = ElementSourceIndex;
    elementVtbl.get_outerHTML = ElementOuterHtml;

    FillWithStub(&collectionVtbl, sizeof collectionVtbl);
    collectionVtbl.QueryInterface = CollectionQueryInterface;
    collectionVtbl.AddRef = (void *)AddRefObject;
    collectionVtbl.Release = (void *)ReleaseObject;
    collectionVtbl.get_length = CollectionLength;
    collectionVtbl.item = CollectionItem;

    FillWithStub(&rangeVtbl, sizeof rangeVtbl);
    rangeVtbl.QueryInterface = RangeQueryInterface;
    rangeVtbl.AddRef = (void *)AddRefObject;
    rangeVtbl.Release = (void *)ReleaseObject;
    rangeVtbl.get_text = RangeText;
    rangeVtbl.parentElement = RangeParent;
    rangeVtbl.duplicate = RangeDuplicate;
    rangeVtbl.moveToElementText = RangeMoveToElementText;
    rangeVtbl.inRange = RangeInRange;
    rangeVtbl.compareEndPoints = RangeCompareEndPoints;

    FillWithStub(&selectionVtbl, sizeof selectionVtbl);
    selectionVtbl.QueryInterface = SelectionQueryInterface;
    selectionVtbl.AddRef = (void *)AddRefObject;
    selectionVtbl.Release = (void *)ReleaseObject;
    selectionVtbl.get_type = SelectionType;
    selectionVtbl.createRange = SelectionCreateRange;

    FillWithStub(&framesVtbl, sizeof framesVtbl);
    framesVtbl.QueryInterface = FramesQueryInterface;
    framesVtbl.AddRef = (void *)AddRefObject;
    framesVtbl.Release = (void *)ReleaseObject;
    framesVtbl.get_length = FramesLength;

    FillWithStub(&document2Vtbl, sizeof document2Vtbl);
    document2Vtbl.QueryInterface = DocumentQueryInterface;
    document2Vtbl.AddRef = (void *)AddRefObject;
    document2Vtbl.Release = DocumentRelease;
    document2Vtbl.get_URL = DocumentURL;
    document2Vtbl.get_selection = DocumentSelection;
    document2Vtbl.get_frames = DocumentFrames;

    FillWithStub(&document3Vtbl, sizeof document3Vtbl);
    document3Vtbl.QueryInterface = Document3QueryInterface;
    document3Vtbl.AddRef = Document3AddRef;
    document3Vtbl.Release = Document3Release;
    document3Vtbl.get_documentElement = Document3Element;

    FillWithStub(&browserVtbl, sizeof browserVtbl);
    browserVtbl.QueryInterface = BrowserQueryInterface;
    browserVtbl.AddRef = (void *)AddRefObject;
    browserVtbl.Release = BrowserRelease;
    browserVtbl.get_HWND = BrowserHwnd;
    browserVtbl.get_Document = BrowserDocument;

    FillWithStub(&siteVtbl, sizeof siteVtbl);
    siteVtbl.QueryInterface = SiteQueryInterface;
    siteVtbl.AddRef = (void *)AddRefObject;
    siteVtbl.Release = SiteRelease;
}

IUnknown *CreateFakeSite(HWND frame, FakePage *page, const wchar_t *url)
{
    FakeWebBrowser *browser;
    FakeSite *site;
    InitVtables();
    browser = (FakeWebBrowser *)NewObject(sizeof(FakeWebBrowser), &browserVtbl, page);
    browser->frame = frame;
    browser->url = SysAllocString(url);
    site = (FakeSite *)NewObject(sizeof(FakeSite), &siteVtbl, page);
    site->browser = (IWebBrowser2 *)browser;
    return (IUnknown *)site;
}
