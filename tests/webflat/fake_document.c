/* A double of the browser's document object for PageFlat: an IHTMLDocument2 whose
 * IHTMLDocument3 gives a document element with a fixed outerHTML, whose frames collection
 * holds windows with further fake documents, and, in the "stream only" variant, no
 * IHTMLDocument3 but an IPersistStreamInit that saves fixed bytes. Written in C so that
 * the large vtables can be filled with one stub and only the methods PageFlat may call
 * are real. Every object counts its references so that tests can check PageFlat
 * releases all it takes. */
#define COBJMACROS
#define CINTERFACE
#include <initguid.h>
#include <windows.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleauto.h>

#include "tests/webflat/fake_document.h"

static HRESULT STDMETHODCALLTYPE NotImplemented(void) { return E_NOTIMPL; }

static void FillWithStub(void *vtable, size_t size)
{
    void **slots = (void **)vtable;
    size_t i;
    for (i = 0; i < size / sizeof(void *); ++i)
        slots[i] = (void *)NotImplemented;
}

typedef struct FakeDocument FakeDocument;

typedef struct {
    IHTMLElement element;
    FakeDocument *owner;
} FakeElement;

typedef struct {
    IHTMLDocument3 document3;
    FakeDocument *owner;
} FakeDocument3;

typedef struct {
    IPersistStreamInit persist;
    FakeDocument *owner;
} FakePersist;

typedef struct {
    IHTMLFramesCollection2 frames;
    FakeDocument *owner;
} FakeFrames;

typedef struct {
    IHTMLWindow2 window;
    FakeDocument *owner;
    int index;
} FakeWindow;

struct FakeDocument {
    IHTMLDocument2 document2;
    FakeDocument3 document3;
    FakeElement element;
    FakePersist persist;
    FakeFrames frames;
    FakeWindow windows[FAKE_DOCUMENT_MAX_FRAMES];
    LONG references;
    BSTR outerHtml;
    char *savedBytes;
    size_t savedSize;
    BSTR charset;
    BOOL streamOnly;
    IHTMLDocument2 *frameDocuments[FAKE_DOCUMENT_MAX_FRAMES];
    int frameCount;
};

static IHTMLDocument2Vtbl document2Vtbl;
static IHTMLDocument3Vtbl document3Vtbl;
static IHTMLElementVtbl elementVtbl;
static IPersistStreamInitVtbl persistVtbl;
static IHTMLFramesCollection2Vtbl framesVtbl;
static IHTMLWindow2Vtbl windowVtbl;

static ULONG AddRefOwner(FakeDocument *owner) { return (ULONG)InterlockedIncrement(&owner->references); }

static ULONG ReleaseOwner(FakeDocument *owner)
{
    LONG left = InterlockedDecrement(&owner->references);
    if (left == 0) {
        int i;
        SysFreeString(owner->outerHtml);
        SysFreeString(owner->charset);
        HeapFree(GetProcessHeap(), 0, owner->savedBytes);
        for (i = 0; i < owner->frameCount; ++i)
            if (owner->frameDocuments[i] != NULL)
                IHTMLDocument2_Release(owner->frameDocuments[i]);
        HeapFree(GetProcessHeap(), 0, owner);
    }
    return (ULONG)left;
}

static HRESULT QueryOwner(FakeDocument *owner, REFIID iid, void **out)
{
    *out = NULL;
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch) || IsEqualIID(iid, &IID_IHTMLDocument) ||
        IsEqualIID(iid, &IID_IHTMLDocument2))
        *out = &owner->document2;
    else if (IsEqualIID(iid, &IID_IHTMLDocument3) && !owner->streamOnly)
        *out = &owner->document3.document3;
    else if (IsEqualIID(iid, &IID_IPersistStreamInit) && owner->streamOnly)
        *out = &owner->persist.persist;
    if (*out == NULL)
        return E_NOINTERFACE;
    AddRefOwner(owner);
    return S_OK;
}

/* IHTMLDocument2 */
static HRESULT STDMETHODCALLTYPE Doc2_QueryInterface(IHTMLDocument2 *self, REFIID iid, void **out)
{
    return QueryOwner((FakeDocument *)self, iid, out);
}
static ULONG STDMETHODCALLTYPE Doc2_AddRef(IHTMLDocument2 *self) { return AddRefOwner((FakeDocument *)self); }
static ULONG STDMETHODCALLTYPE Doc2_Release(IHTMLDocument2 *self) { return ReleaseOwner((FakeDocument *)self); }
static HRESULT STDMETHODCALLTYPE Doc2_get_frames(IHTMLDocument2 *self, IHTMLFramesCollection2 **frames)
{
    FakeDocument *owner = (FakeDocument *)self;
    AddRefOwner(owner);
    *frames = &owner->frames.frames;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE Doc2_get_charset(IHTMLDocument2 *self, BSTR *charset)
{
    FakeDocument *owner = (FakeDocument *)self;
    *charset = SysAllocString(owner->charset != NULL ? owner->charset : L"");
    return S_OK;
}

/* IHTMLDocument3 */
static HRESULT STDMETHODCALLTYPE Doc3_QueryInterface(IHTMLDocument3 *self, REFIID iid, void **out)
{
    return QueryOwner(((FakeDocument3 *)self)->owner, iid, out);
}
static ULONG STDMETHODCALLTYPE Doc3_AddRef(IHTMLDocument3 *self) { return AddRefOwner(((FakeDocument3 *)self)->owner); }
static ULONG STDMETHODCALLTYPE Doc3_Release(IHTMLDocument3 *self) { return ReleaseOwner(((FakeDocument3 *)self)->owner); }
static HRESULT STDMETHODCALLTYPE Doc3_get_documentElement(IHTMLDocument3 *self, IHTMLElement **element)
{
    FakeDocument *owner = ((FakeDocument3 *)self)->owner;
    AddRefOwner(owner);
    *element = &owner->element.element;
    return S_OK;
}

/* IHTMLElement */
static HRESULT STDMETHODCALLTYPE Element_QueryInterface(IHTMLElement *self, REFIID iid, void **out)
{
    FakeElement *element = (FakeElement *)self;
    *out = NULL;
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch) || IsEqualIID(iid, &IID_IHTMLElement)) {
        *out = self;
        AddRefOwner(element->owner);
        return S_OK;
    }
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE Element_AddRef(IHTMLElement *self) { return AddRefOwner(((FakeElement *)self)->owner); }
static ULONG STDMETHODCALLTYPE Element_Release(IHTMLElement *self) { return ReleaseOwner(((FakeElement *)self)->owner); }
static HRESULT STDMETHODCALLTYPE Element_get_outerHTML(IHTMLElement *self, BSTR *html)
{
    FakeDocument *owner = ((FakeElement *)self)->owner;
    *html = SysAllocStringLen(owner->outerHtml, SysStringLen(owner->outerHtml));
    return *html != NULL ? S_OK : E_OUTOFMEMORY;
}

/* IPersistStreamInit */
static HRESULT STDMETHODCALLTYPE Persist_QueryInterface(IPersistStreamInit *self, REFIID iid, void **out)
{
    return QueryOwner(((FakePersist *)self)->owner, iid, out);
}
static ULONG STDMETHODCALLTYPE Persist_AddRef(IPersistStreamInit *self) { return AddRefOwner(((FakePersist *)self)->owner); }
static ULONG STDMETHODCALLTYPE Persist_Release(IPersistStreamInit *self) { return ReleaseOwner(((FakePersist *)self)->owner); }
static HRESULT STDMETHODCALLTYPE Persist_Save(IPersistStreamInit *self, IStream *stream, BOOL clearDirty)
{
    FakeDocument *owner = ((FakePersist *)self)->owner;
    ULONG written = 0;
    (void)clearDirty;
    return IStream_Write(stream, owner->savedBytes, (ULONG)owner->savedSize, &written);
}

/* IHTMLFramesCollection2 */
static HRESULT STDMETHODCALLTYPE Frames_QueryInterface(IHTMLFramesCollection2 *self, REFIID iid, void **out)
{
    *out = NULL;
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch) || IsEqualIID(iid, &IID_IHTMLFramesCollection2)) {
        *out = self;
        AddRefOwner(((FakeFrames *)self)->owner);
        return S_OK;
    }
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE Frames_AddRef(IHTMLFramesCollection2 *self) { return AddRefOwner(((FakeFrames *)self)->owner); }
static ULONG STDMETHODCALLTYPE Frames_Release(IHTMLFramesCollection2 *self) { return ReleaseOwner(((FakeFrames *)self)->owner); }
static HRESULT STDMETHODCALLTYPE Frames_get_length(IHTMLFramesCollection2 *self, LONG *length)
{
    *length = ((FakeFrames *)self)->owner->frameCount;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE Frames_item(IHTMLFramesCollection2 *self, VARIANT *which, VARIANT *result)
{
    FakeDocument *owner = ((FakeFrames *)self)->owner;
    LONG index;
    VariantInit(result);
    if (which->vt != VT_I4)
        return E_INVALIDARG;
    index = which->lVal;
    if (index < 0 || index >= owner->frameCount)
        return E_INVALIDARG;
    AddRefOwner(owner);
    result->vt = VT_DISPATCH;
    result->pdispVal = (IDispatch *)&owner->windows[index].window;
    return S_OK;
}

/* IHTMLWindow2 */
static HRESULT STDMETHODCALLTYPE Window_QueryInterface(IHTMLWindow2 *self, REFIID iid, void **out)
{
    *out = NULL;
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch) || IsEqualIID(iid, &IID_IHTMLWindow2) ||
        IsEqualIID(iid, &IID_IHTMLFramesCollection2)) {
        *out = self;
        AddRefOwner(((FakeWindow *)self)->owner);
        return S_OK;
    }
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE Window_AddRef(IHTMLWindow2 *self) { return AddRefOwner(((FakeWindow *)self)->owner); }
static ULONG STDMETHODCALLTYPE Window_Release(IHTMLWindow2 *self) { return ReleaseOwner(((FakeWindow *)self)->owner); }
static HRESULT STDMETHODCALLTYPE Window_get_document(IHTMLWindow2 *self, IHTMLDocument2 **document)
{
    FakeWindow *window = (FakeWindow *)self;
    IHTMLDocument2 *frame = window->owner->frameDocuments[window->index];
    *document = NULL;
    if (frame == NULL)
        return E_ACCESSDENIED; /* as for a frame from another site */
    IHTMLDocument2_AddRef(frame);
    *document = frame;
    return S_OK;
}

static void InitVtables(void)
{
    static BOOL done = FALSE;
    if (done)
        return;
    done = TRUE;
    FillWithStub(&document2Vtbl, sizeof(document2Vtbl));
    document2Vtbl.QueryInterface = Doc2_QueryInterface;
    document2Vtbl.AddRef = Doc2_AddRef;
    document2Vtbl.Release = Doc2_Release;
    document2Vtbl.get_frames = Doc2_get_frames;
    document2Vtbl.get_charset = Doc2_get_charset;

    FillWithStub(&document3Vtbl, sizeof(document3Vtbl));
    document3Vtbl.QueryInterface = Doc3_QueryInterface;
    document3Vtbl.AddRef = Doc3_AddRef;
    document3Vtbl.Release = Doc3_Release;
    document3Vtbl.get_documentElement = Doc3_get_documentElement;

    FillWithStub(&elementVtbl, sizeof(elementVtbl));
    elementVtbl.QueryInterface = Element_QueryInterface;
    elementVtbl.AddRef = Element_AddRef;
    elementVtbl.Release = Element_Release;
    elementVtbl.get_outerHTML = Element_get_outerHTML;

    FillWithStub(&persistVtbl, sizeof(persistVtbl));
    persistVtbl.QueryInterface = Persist_QueryInterface;
    persistVtbl.AddRef = Persist_AddRef;
    persistVtbl.Release = Persist_Release;
    persistVtbl.Save = Persist_Save;

    FillWithStub(&framesVtbl, sizeof(framesVtbl));
    framesVtbl.QueryInterface = Frames_QueryInterface;
    framesVtbl.AddRef = Frames_AddRef;
    framesVtbl.Release = Frames_Release;
    framesVtbl.get_length = Frames_get_length;
    framesVtbl.item = Frames_item;

    FillWithStub(&windowVtbl, sizeof(windowVtbl));
    windowVtbl.QueryInterface = Window_QueryInterface;
    windowVtbl.AddRef = Window_AddRef;
    windowVtbl.Release = Window_Release;
    windowVtbl.get_document = Window_get_document;
}

static FakeDocument *NewDocument(IHTMLDocument2 **frames, int frameCount)
{
    FakeDocument *document;
    int i;
    InitVtables();
    document = (FakeDocument *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FakeDocument));
    if (document == NULL)
        return NULL;
    document->document2.lpVtbl = &document2Vtbl;
    document->document3.document3.lpVtbl = &document3Vtbl;
    document->document3.owner = document;
    document->element.element.lpVtbl = &elementVtbl;
    document->element.owner = document;
    document->persist.persist.lpVtbl = &persistVtbl;
    document->persist.owner = document;
    document->frames.frames.lpVtbl = &framesVtbl;
    document->frames.owner = document;
    document->references = 1;
    if (frameCount > FAKE_DOCUMENT_MAX_FRAMES)
        frameCount = FAKE_DOCUMENT_MAX_FRAMES;
    document->frameCount = frameCount;
    for (i = 0; i < frameCount; ++i) {
        document->windows[i].window.lpVtbl = &windowVtbl;
        document->windows[i].owner = document;
        document->windows[i].index = i;
        document->frameDocuments[i] = frames[i];
        if (frames[i] != NULL)
            IHTMLDocument2_AddRef(frames[i]);
    }
    return document;
}

IHTMLDocument2 *CreateFakeDocument(const wchar_t *outerHtml, IHTMLDocument2 **frames, int frameCount)
{
    FakeDocument *document = NewDocument(frames, frameCount);
    if (document == NULL)
        return NULL;
    document->outerHtml = SysAllocString(outerHtml);
    return &document->document2;
}

IHTMLDocument2 *CreateFakeStreamDocument(const char *bytes, size_t size, const wchar_t *charset)
{
    FakeDocument *document = NewDocument(NULL, 0);
    if (document == NULL)
        return NULL;
    document->streamOnly = TRUE;
    document->savedBytes = (char *)HeapAlloc(GetProcessHeap(), 0, size + 1);
    if (document->savedBytes != NULL) {
        memcpy(document->savedBytes, bytes, size);
        document->savedSize = size;
    }
    document->charset = charset != NULL ? SysAllocString(charset) : NULL;
    return &document->document2;
}

long FakeDocumentReferences(IHTMLDocument2 *document) { return ((FakeDocument *)document)->references; }
