#include "capture/host/capture_request.h"

#include <nlohmann/json.hpp>

#include <memory>

#include "capture/host/native_message.h"
#include "capture/markup_page.h"
#include "capture/selection_descriptor.h"

namespace quillon::capture {
namespace {

using nlohmann::json;

bool ReadString(const json &object, const char *name, std::string *out, bool required, std::string *error)
{
    const auto it = object.find(name);
    if (it == object.end() || it->is_null()) {
        if (required)
            *error = std::string("the request has no \"") + name + "\"";
        return !required;
    }
    if (!it->is_string()) {
        *error = std::string("\"") + name + "\" is not a text";
        return false;
    }
    *out = it->get<std::string>();
    return true;
}

bool ReadNumber(const json &value, long *out)
{
    if (!value.is_number_integer())
        return false;
    const auto number = value.get<int64_t>();
    if (number < -1 || number > (1L << 30))
        return false;
    *out = static_cast<long>(number);
    return true;
}

// A point, or null (outside BODY: *present false).
bool ReadPoint(const json &object, const char *name, TextPoint *point, bool *present, std::string *error)
{
    *present = false;
    const auto it = object.find(name);
    if (it == object.end() || it->is_null())
        return true;
    const auto path = it->find("path");
    const auto offset = it->find("offset");
    if (!it->is_object() || path == it->end() || !path->is_array() || offset == it->end() ||
        !ReadNumber(*offset, &point->offset) || point->offset < 0) {
        *error = std::string("\"") + name + "\" is not a point";
        return false;
    }
    for (const json &step : *path) {
        long index = 0;
        if (!ReadNumber(step, &index) || index < 0) {
            *error = std::string("\"") + name + "\" has a bad path";
            return false;
        }
        point->path.push_back(index);
    }
    *present = true;
    return true;
}

bool ReadSelection(const json &object, CapturedSelection *selection, std::string *error)
{
    if (!object.is_object()) {
        *error = "\"selection\" is not an object";
        return false;
    }
    if (!ReadString(object, "text", &selection->text, true, error) ||
        !ReadString(object, "frameAddress", &selection->frameAddress, false, error))
        return false;
    const auto markup = object.find("markup");
    if (markup != object.end() && !markup->is_null()) {
        if (!markup->is_string()) {
            *error = "\"markup\" is not a text";
            return false;
        }
        selection->markup = markup->get<std::string>();
        selection->hasMarkup = true;
    }
    const auto frame = object.find("frame");
    if (frame != object.end() && !frame->is_null()) {
        if (!frame->is_array()) {
            *error = "\"frame\" is not a list";
            return false;
        }
        for (const json &step : *frame) {
            FrameStep s;
            const auto index = step.is_object() ? step.find("index") : step.end();
            const auto count = step.is_object() ? step.find("count") : step.end();
            if (!step.is_object() || index == step.end() || count == step.end() || !ReadNumber(*index, &s.index) ||
                !ReadNumber(*count, &s.count)) {
                *error = "\"frame\" has a bad step";
                return false;
            }
            selection->frame.push_back(s);
        }
    }
    return ReadPoint(object, "start", &selection->start, &selection->hasStart, error) &&
           ReadPoint(object, "end", &selection->end, &selection->hasEnd, error);
}

// A document that has no selection and no frames: "()" in its parent's list.
class EmptyDocument : public PageDocument {
public:
    std::string SelectionType() const override { return "None"; }
    std::unique_ptr<PageTextRange> SelectionRange() const override { return nullptr; }
    long FrameCount() const override { return 0; }
    std::unique_ptr<PageDocument> FrameDocument(long) const override { return nullptr; }
    void ReportUndescribableSelection() const override {}
};

// The page model as the document of a frame (the page is owned elsewhere).
class PageView : public PageDocument {
public:
    explicit PageView(const MarkupPage &page) : page_(page) {}
    std::string SelectionType() const override { return page_.SelectionType(); }
    std::unique_ptr<PageTextRange> SelectionRange() const override { return page_.SelectionRange(); }
    long FrameCount() const override { return 0; }
    std::unique_ptr<PageDocument> FrameDocument(long) const override { return nullptr; }
    void ReportUndescribableSelection() const override { page_.ReportUndescribableSelection(); }

private:
    const MarkupPage &page_;
};

// One document on the way from the top page down to the frame that holds the selection:
// its frames are empty documents except the one on the way.
class FrameHop : public PageDocument {
public:
    FrameHop(const std::vector<FrameStep> &steps, size_t level, const MarkupPage &page)
        : steps_(steps), level_(level), page_(page)
    {
    }
    std::string SelectionType() const override { return "None"; }
    std::unique_ptr<PageTextRange> SelectionRange() const override { return nullptr; }
    long FrameCount() const override { return steps_[level_].count; }
    std::unique_ptr<PageDocument> FrameDocument(long index) const override
    {
        if (index != steps_[level_].index)
            return std::make_unique<EmptyDocument>();
        if (level_ + 1 < steps_.size())
            return std::make_unique<FrameHop>(steps_, level_ + 1, page_);
        return std::make_unique<PageView>(page_);
    }
    void ReportUndescribableSelection() const override {}

private:
    const std::vector<FrameStep> &steps_;
    size_t level_;
    const MarkupPage &page_;
};

bool IsCollapsible(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0x01 || c == 0xA0;
}

// The longest prefix of text, at most limit bytes, that does not end inside a UTF-8
// character.
std::string_view CutAtCharacter(std::string_view text, size_t limit)
{
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u)
        --end;
    return text.substr(0, end);
}

} // namespace

bool ParseCaptureRequest(std::string_view text, CaptureRequest *request, std::string *error)
{
    *request = CaptureRequest();
    const json root = json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded()) {
        *error = "the message from the browser is not JSON";
        return false;
    }
    if (!root.is_object()) {
        *error = "the message from the browser is not a request";
        return false;
    }
    std::string kind;
    if (!ReadString(root, "kind", &kind, true, error))
        return false;
    if (kind != "capture") {
        *error = "the request is of an unknown kind";
        return false;
    }
    if (!ReadString(root, "address", &request->address, true, error) ||
        !ReadString(root, "title", &request->title, false, error))
        return false;
    if (request->address.empty()) {
        *error = "the request has no page address";
        return false;
    }
    const auto unreadable = root.find("unreadableFrame");
    if (unreadable != root.end() && !unreadable->is_null()) {
        if (!unreadable->is_boolean()) {
            *error = "\"unreadableFrame\" is not true or false";
            return false;
        }
        request->unreadableFrame = unreadable->get<bool>();
    }
    const auto selection = root.find("selection");
    if (selection != root.end() && !selection->is_null()) {
        if (!ReadSelection(*selection, &request->selection, error))
            return false;
        request->hasSelection = true;
    }
    return true;
}

std::string MakeReply(ReplyStatus status, std::string_view messageUtf8, std::string_view taskKey)
{
    json reply;
    switch (status) {
    case ReplyStatus::kScheduled:
        reply["status"] = "scheduled";
        break;
    case ReplyStatus::kCancelled:
        reply["status"] = "cancelled";
        break;
    case ReplyStatus::kError:
        reply["status"] = "error";
        break;
    }
    // Room for the rest of the reply and for escapes, which can make a byte six.
    reply["message"] = std::string(CutAtCharacter(messageUtf8, kMaxReplyBytes / 8));
    if (!taskKey.empty())
        reply["task"] = std::string(CutAtCharacter(taskKey, 260));
    return reply.dump(-1, ' ', false, json::error_handler_t::replace);
}

DescribeResult DescribeCapturedSelection(const CaptureRequest &request, std::string *descriptor)
{
    if (!request.hasSelection)
        return DescribeResult::kWholePage;
    const CapturedSelection &s = request.selection;
    if (!s.hasMarkup || !s.hasStart || !s.hasEnd)
        return DescribeResult::kUndescribable;
    for (const FrameStep &step : s.frame)
        if (step.index < 0 || step.index >= step.count)
            return DescribeResult::kUndescribable;
    MarkupPage page(s.markup);
    size_t begin = 0;
    size_t end = 0;
    if (!page.PointAt(s.start.path, s.start.offset, &begin) || !page.PointAt(s.end.path, s.end.offset, &end) ||
        end <= begin)
        return DescribeResult::kUndescribable;
    page.Select(begin, end);
    std::unique_ptr<PageDocument> top;
    if (s.frame.empty())
        top = std::make_unique<PageView>(page);
    else
        top = std::make_unique<FrameHop>(s.frame, 0, page);
    std::string built;
    if (BuildSelectionDescriptor(*top, &built) != DescriptorStatus::kSuccess || page.Reports() != 0)
        return DescribeResult::kUndescribable;
    *descriptor = std::move(built);
    return DescribeResult::kDescribed;
}

std::string CollapseForComparison(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool space = false;
    for (char c : text) {
        if (IsCollapsible(static_cast<unsigned char>(c))) {
            space = !out.empty();
            continue;
        }
        if (space)
            out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

bool ExtractedTextIsSelection(std::string_view extracted, std::string_view selected)
{
    const std::string want = CollapseForComparison(selected);
    const std::string got = CollapseForComparison(extracted);
    if (want.empty() || got.find(want) == std::string::npos)
        return false;
    // Whole elements around a selection's ends may add a little; a page's worth is not
    // the selection.
    return got.size() <= want.size() + want.size() / 4 + 16;
}

HostCaller IdentifyCaller(const std::vector<std::string> &arguments, std::string_view chromiumOrigin,
                          std::string_view firefoxAddonId)
{
    HostCaller caller;
    if (arguments.empty())
        return caller;
    constexpr std::string_view kParentWindow = "--parent-window=";
    if (arguments[0].rfind("chrome-extension://", 0) == 0) {
        caller.caller = arguments[0];
        caller.accepted = arguments[0] == chromiumOrigin;
        for (size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i].rfind(kParentWindow, 0) != 0)
                continue;
            uint64_t value = 0;
            bool digits = arguments[i].size() > kParentWindow.size();
            for (size_t k = kParentWindow.size(); k < arguments[i].size() && digits; ++k) {
                const char c = arguments[i][k];
                if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10)
                    digits = false;
                else
                    value = value * 10 + static_cast<uint64_t>(c - '0');
            }
            caller.parentWindow = digits ? value : 0;
        }
        return caller;
    }
    // Firefox: the manifest's path first, the add-on's id second.
    if (arguments.size() >= 2) {
        caller.caller = arguments[1];
        caller.accepted = arguments[1] == firefoxAddonId;
    }
    return caller;
}

} // namespace quillon::capture
