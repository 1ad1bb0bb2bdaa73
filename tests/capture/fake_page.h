/* The page model behind the fake browser's document (fake_browser.c): a MarkupPage
 * (markup_page.h) seen through plain functions, so the C fakes can use it. Nodes are the
 * element indices of the page's tree; -1 means none. Texts are UTF-16 and stay owned by
 * the page. */
#pragma once

#include <stddef.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FakePage FakePage;

FakePage *FakePageCreate(const char *utf8Markup);
void FakePageDestroy(FakePage *page);
/* Selects the nth occurrence of the text in the body text; 0 when it is not there. */
int FakePageSelectText(FakePage *page, const char *utf8, int occurrence);
void FakePageSelectNone(FakePage *page);
/* 1 and the span when there is a selection. */
int FakePageSelection(const FakePage *page, size_t *begin, size_t *end);

const wchar_t *FakePageMarkup(const FakePage *page, size_t *length);
const wchar_t *FakePageBodyText(const FakePage *page, size_t *length);
int FakePageRoot(const FakePage *page); /* the HTML element */
int FakePageParent(const FakePage *page, int node);
int FakePageChildCount(const FakePage *page, int node);
int FakePageChild(const FakePage *page, int node, int index);
const char *FakePageTag(const FakePage *page, int node);
const wchar_t *FakePageElementText(const FakePage *page, int node, size_t *length);
void FakePageSpan(const FakePage *page, int node, size_t *begin, size_t *end);
int FakePageElementAround(const FakePage *page, size_t begin, size_t end);

#ifdef __cplusplus
}
#endif
