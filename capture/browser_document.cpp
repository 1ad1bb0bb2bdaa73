#include "capture/browser_document.h"

#include <oleauto.h>

#include <string>

#include "common/com_owners.h"
#include "common/handles.h"
#include "resources/resource_ids.h"

namespace quillon::capture {
namespace {

std::u16string FromBstr(BSTR text)
{
    if (text == nullptr)
        return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t *>(text), SysStringLen(text));
}

class BrowserElement : public PageElement {
public:
    explicit BrowserElement(IHTMLElement *element) { element_.Attach(element); }

    bool InnerText(std::u16string &text) const override
    {
        UniqueBstr value;
        if (FAILED(element_->get_innerText(value.Out())))
            return false;
        text = FromBstr(value.Get());
        return true;
    }
    std::string TagName() const override
    {
        UniqueBstr value;
        if (FAILED(element_->get_tagName(value.Out())))
            return std::string();
        return NarrowBstr(value.Get());
    }
    std::unique_ptr<PageElement> Parent() const override
    {
        IHTMLElement *parent = nullptr;
        if (FAILED(element_->get_parentElement(&parent)) || parent == nullptr)
            return nullptr;
        return std::make_unique<BrowserElement>(parent);
    }
    long ChildCount() const override
    {
        ComPtr<IHTMLElementCollection> children;
        if (!Children(children))
            return 0;
        long count = 0;
        if (FAILED(children->get_length(&count)) || count < 0)
            return 0;
        return count;
    }
    ChildKind Child(long index, std::unique_ptr<PageElement> &child) const override
    {
        ComPtr<IHTMLElementCollection> children;
        if (!Children(children))
            return ChildKind::kFailed;
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_I4;
        name.lVal = index;
        VARIANT which;
        VariantInit(&which);
        which.vt = VT_I4;
        which.lVal = 0;
        ComPtr<IDispatch> item;
        if (FAILED(children->item(name, which, item.Put())) || !item)
            return ChildKind::kFailed;
        IHTMLElement *element = nullptr;
        if (FAILED(item->QueryInterface(IID_IHTMLElement, reinterpret_cast<void **>(&element))) || element == nullptr)
            return ChildKind::kNotElement;
        child = std::make_unique<BrowserElement>(element);
        return ChildKind::kElement;
    }
    long SourceIndex() const override
    {
        long index = -1;
        if (FAILED(element_->get_sourceIndex(&index)))
            return -1;
        return index;
    }
    IHTMLElement *Get() const { return element_.Get(); }

private:
    bool Children(ComPtr<IHTMLElementCollection> &children) const
    {
        ComPtr<IDispatch> dispatch;
        if (FAILED(element_->get_children(dispatch.Put())) || !dispatch)
            return false;
        return SUCCEEDED(dispatch->QueryInterface(IID_IHTMLElementCollection, children.PutVoid())) && children;
    }

    ComPtr<IHTMLElement> element_;
};

class BrowserRange : public PageTextRange {
public:
    explicit BrowserRange(IHTMLTxtRange *range) { range_.Attach(range); }

    bool Text(std::u16string &text) const override
    {
        UniqueBstr value;
        if (FAILED(range_->get_text(value.Out())))
            return false;
        text = FromBstr(value.Get());
        return true;
    }
    std::unique_ptr<PageElement> ParentElement() const override
    {
        IHTMLElement *parent = nullptr;
        if (FAILED(range_->parentElement(&parent)) || parent == nullptr)
            return nullptr;
        return std::make_unique<BrowserElement>(parent);
    }
    std::unique_ptr<PageTextRange> Duplicate() const override
    {
        IHTMLTxtRange *copy = nullptr;
        if (FAILED(range_->duplicate(&copy)) || copy == nullptr)
            return nullptr;
        return std::make_unique<BrowserRange>(copy);
    }
    bool MoveToElementText(const PageElement &element) override
    {
        return SUCCEEDED(range_->moveToElementText(static_cast<const BrowserElement &>(element).Get()));
    }
    bool InRange(const PageTextRange &other, bool *contains) const override
    {
        VARIANT_BOOL inside = VARIANT_FALSE;
        if (FAILED(range_->inRange(static_cast<const BrowserRange &>(other).range_.Get(), &inside)))
            return false;
        *contains = inside != VARIANT_FALSE;
        return true;
    }
    bool CompareEndPoints(EndPoints which, const PageTextRange &other, int *order) const override
    {
        const wchar_t *how = L"StartToEnd";
        switch (which) {
        case EndPoints::kStartToEnd: how = L"StartToEnd"; break;
        case EndPoints::kStartToStart: how = L"StartToStart"; break;
        case EndPoints::kEndToEnd: how = L"EndToEnd"; break;
        case EndPoints::kEndToStart: how = L"EndToStart"; break;
        }
        UniqueBstr name(SysAllocString(how));
        long result = 0;
        const HRESULT hr =
            range_->compareEndPoints(name.Get(), static_cast<const BrowserRange &>(other).range_.Get(), &result);
        if (FAILED(hr))
            return false;
        *order = result < 0 ? -1 : (result > 0 ? 1 : 0);
        return true;
    }

private:
    ComPtr<IHTMLTxtRange> range_;
};

class BrowserDocument : public PageDocument {
public:
    BrowserDocument(IHTMLDocument2 *document, HWND owner, HMODULE resources)
        : owner_(owner), resources_(resources)
    {
        document->AddRef();
        document_.Attach(document);
    }

    std::string SelectionType() const override
    {
        ComPtr<IHTMLSelectionObject> selection;
        if (FAILED(document_->get_selection(selection.Put())) || !selection)
            return std::string();
        UniqueBstr type;
        if (FAILED(selection->get_type(type.Out())))
            return std::string();
        return NarrowBstr(type.Get());
    }
    std::unique_ptr<PageTextRange> SelectionRange() const override
    {
        ComPtr<IHTMLSelectionObject> selection;
        if (FAILED(document_->get_selection(selection.Put())) || !selection)
            return nullptr;
        ComPtr<IDispatch> created;
        if (FAILED(selection->createRange(created.Put())) || !created)
            return nullptr;
        IHTMLTxtRange *range = nullptr;
        if (FAILED(created->QueryInterface(IID_IHTMLTxtRange, reinterpret_cast<void **>(&range))) || range == nullptr)
            return nullptr;
        return std::make_unique<BrowserRange>(range);
    }
    long FrameCount() const override
    {
        ComPtr<IHTMLFramesCollection2> frames;
        long count = 0;
        if (FAILED(document_->get_frames(frames.Put())) || !frames || FAILED(frames->get_length(&count)))
            return 0;
        return count < 0 ? 0 : count;
    }
    std::unique_ptr<PageDocument> FrameDocument(long index) const override
    {
        ComPtr<IHTMLFramesCollection2> frames;
        if (FAILED(document_->get_frames(frames.Put())) || !frames)
            return nullptr;
        VARIANT which;
        VariantInit(&which);
        which.vt = VT_I4;
        which.lVal = index;
        VARIANT item;
        VariantInit(&item);
        if (FAILED(frames->item(&which, &item)))
            return nullptr;
        std::unique_ptr<PageDocument> result;
        if (item.vt == VT_DISPATCH && item.pdispVal != nullptr) {
            ComPtr<IHTMLWindow2> window;
            ComPtr<IHTMLDocument2> frameDocument;
            if (SUCCEEDED(item.pdispVal->QueryInterface(IID_IHTMLWindow2, window.PutVoid())) && window &&
                SUCCEEDED(window->get_document(frameDocument.Put())) && frameDocument)
                result = std::make_unique<BrowserDocument>(frameDocument.Get(), owner_, resources_);
        }
        VariantClear(&item);
        return result;
    }
    void ReportUndescribableSelection() const override
    {
        char text[260] = {};
        char caption[260] = {};
        LoadStringA(resources_, IDS_SELRANGE_ERROR, text, sizeof text);
        LoadStringA(resources_, IDS_APP_CAPTION, caption, sizeof caption);
        MessageBoxA(owner_, text, caption, MB_OK);
    }

private:
    ComPtr<IHTMLDocument2> document_;
    HWND owner_;
    HMODULE resources_;
};

} // namespace

std::unique_ptr<PageDocument> BrowserPageDocument(IHTMLDocument2 *document, HWND owner, HMODULE resources)
{
    return std::make_unique<BrowserDocument>(document, owner, resources);
}

std::string NarrowBstr(BSTR text)
{
    std::string out;
    if (text == nullptr)
        return out;
    const int length = static_cast<int>(SysStringLen(text));
    if (length == 0)
        return out;
    const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return out;
    out.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text, length, &out[0], size, nullptr, nullptr);
    return out;
}

} // namespace quillon::capture
