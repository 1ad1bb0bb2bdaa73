#include "tests/resources/dialog_template.h"

#include <cstring>

namespace quillon::test {
namespace {

// A bounds-checked cursor over the template bytes.
class Reader {
public:
    Reader(const BYTE *data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }

    template <typename T>
    T Get()
    {
        T value{};
        if (!ok_ || pos_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }
    // Zero-terminated UTF-16 text, narrowed to the ANSI code page.
    std::string WideText()
    {
        std::wstring wide;
        for (;;) {
            WCHAR c = Get<WCHAR>();
            if (!ok_ || c == 0)
                break;
            wide.push_back(c);
        }
        if (wide.empty())
            return {};
        char buffer[1024] = {};
        int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), buffer,
                                    sizeof buffer - 1, nullptr, nullptr);
        return std::string(buffer, n > 0 ? n : 0);
    }
    // sz_Or_Ord: 0 = none, 0xFFFF + ordinal, or text.
    std::string TextOrOrdinal()
    {
        size_t start = pos_;
        WCHAR first = Get<WCHAR>();
        if (!ok_ || first == 0)
            return {};
        if (first == 0xFFFF)
            return "#" + std::to_string(Get<WORD>());
        pos_ = start;
        return WideText();
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~size_t(3); }

private:
    const BYTE *data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace

bool ReadDialogTemplate(HMODULE module, int id, DialogTemplate &out, std::string &error)
{
    out = DialogTemplate{};
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    if (resource == nullptr) {
        error = "no dialog resource " + std::to_string(id);
        return false;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const BYTE *data = static_cast<const BYTE *>(LockResource(loaded));
    DWORD size = SizeofResource(module, resource);
    if (data == nullptr || size == 0) {
        error = "dialog resource cannot be read";
        return false;
    }
    Reader r(data, size);
    WORD version = r.Get<WORD>();
    WORD signature = r.Get<WORD>();
    if (version != 1 || signature != 0xFFFF) {
        error = "not an extended dialog template";
        return false;
    }
    r.Get<DWORD>(); // help id
    out.exStyle = r.Get<DWORD>();
    out.style = r.Get<DWORD>();
    WORD count = r.Get<WORD>();
    out.x = r.Get<short>();
    out.y = r.Get<short>();
    out.cx = r.Get<short>();
    out.cy = r.Get<short>();
    out.menu = r.TextOrOrdinal();
    out.windowClass = r.TextOrOrdinal();
    out.title = r.WideText();
    if (out.style & (DS_SETFONT | DS_SHELLFONT)) {
        out.pointSize = r.Get<WORD>();
        r.Get<WORD>();  // weight
        r.Get<BYTE>();  // italic
        r.Get<BYTE>();  // charset
        out.typeface = r.WideText();
    }
    for (WORD i = 0; i < count && r.ok(); ++i) {
        r.AlignDword();
        DialogItem item;
        r.Get<DWORD>(); // help id
        item.exStyle = r.Get<DWORD>();
        item.style = r.Get<DWORD>();
        item.x = r.Get<short>();
        item.y = r.Get<short>();
        item.cx = r.Get<short>();
        item.cy = r.Get<short>();
        item.id = static_cast<int>(r.Get<DWORD>());
        item.windowClass = r.TextOrOrdinal();
        item.text = r.TextOrOrdinal();
        WORD extra = r.Get<WORD>();
        for (WORD b = 0; b < extra; ++b)
            r.Get<BYTE>();
        out.items.push_back(item);
    }
    if (!r.ok()) {
        error = "dialog template is cut short";
        return false;
    }
    return true;
}

} // namespace quillon::test
