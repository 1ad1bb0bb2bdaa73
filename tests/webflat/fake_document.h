/* A double of the browser's document object for PageFlat tests (see fake_document.c).
 * Each function returns one reference the caller releases with IHTMLDocument2 Release. */
#pragma once

#include <stddef.h>
#include <wchar.h>

#ifdef __cplusplus
struct IHTMLDocument2;
extern "C" {
#else
typedef struct IHTMLDocument2 IHTMLDocument2;
#endif

#define FAKE_DOCUMENT_MAX_FRAMES 8

/* A document whose document element has the given outerHTML, with frameCount frames
 * whose windows give frames[i] as their document (a null entry refuses access, as a
 * frame from another site does). The fake takes its own references to the frames. */
IHTMLDocument2 *CreateFakeDocument(const wchar_t *outerHtml, IHTMLDocument2 **frames, int frameCount);

/* A document without IHTMLDocument3 whose IPersistStreamInit::Save writes bytes, and
 * whose charset property is charset (may be null). */
IHTMLDocument2 *CreateFakeStreamDocument(const char *bytes, size_t size, const wchar_t *charset);

/* The reference count of a fake document (all its interfaces share it). */
long FakeDocumentReferences(IHTMLDocument2 *document);

#ifdef __cplusplus
}
#endif
