#include "capture/registrar_script.h"

namespace quillon::capture {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == '{' || c == '}';
}

bool SameNoCase(std::string_view a, const char *b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool Script(std::vector<RegistrarTree> *trees)
    {
        while (true) {
            SkipSpace();
            if (pos_ >= text_.size())
                return true;
            RegistrarTree tree;
            std::string word;
            if (!Word(&word) || !Root(word, &tree.root))
                return Fail("expected a root key");
            if (!PeekBlock())
                return Fail("expected '{'");
            ++pos_;
            if (!Keys(&tree.keys, nullptr, 1))
                return false;
            trees->push_back(std::move(tree));
        }
    }

    std::string Error() const { return error_; }

private:
    bool Fail(const char *what)
    {
        if (error_.empty())
            error_ = std::string(what) + " at offset " + std::to_string(pos_);
        return false;
    }

    void SkipSpace()
    {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
    }

    bool Peek(char c)
    {
        SkipSpace();
        return pos_ < text_.size() && text_[pos_] == c;
    }

    // A "{" that opens a block, not the first character of a bare name like {GUID}.
    bool PeekBlock()
    {
        if (!Peek('{'))
            return false;
        return pos_ + 1 >= text_.size() || !IsWordChar(text_[pos_ + 1]) || text_[pos_ + 1] == '}';
    }

    bool Expect(char c)
    {
        if (!Peek(c)) {
            const char what[] = {'e', 'x', 'p', 'e', 'c', 't', 'e', 'd', ' ', '\'', c, '\'', '\0'};
            return Fail(what);
        }
        ++pos_;
        return true;
    }

    bool Word(std::string *word)
    {
        SkipSpace();
        const size_t start = pos_;
        while (pos_ < text_.size() && IsWordChar(text_[pos_]))
            ++pos_;
        *word = std::string(text_.substr(start, pos_ - start));
        return pos_ > start;
    }

    bool Quoted(std::string *text)
    {
        SkipSpace();
        if (pos_ >= text_.size() || text_[pos_] != '\'')
            return Fail("expected a quoted text");
        ++pos_;
        text->clear();
        while (true) {
            if (pos_ >= text_.size())
                return Fail("unterminated quoted text");
            const char c = text_[pos_++];
            if (c == '\'') {
                if (pos_ < text_.size() && text_[pos_] == '\'') {
                    text->push_back('\'');
                    ++pos_;
                    continue;
                }
                return true;
            }
            text->push_back(c);
        }
    }

    bool Name(std::string *name)
    {
        if (Peek('\''))
            return Quoted(name);
        if (!Word(name))
            return Fail("expected a key or value name");
        return true;
    }

    static bool Root(const std::string &word, RegistrarRoot *root)
    {
        if (SameNoCase(word, "HKCR") || SameNoCase(word, "HKEY_CLASSES_ROOT"))
            *root = RegistrarRoot::kClassesRoot;
        else if (SameNoCase(word, "HKCU") || SameNoCase(word, "HKEY_CURRENT_USER"))
            *root = RegistrarRoot::kCurrentUser;
        else if (SameNoCase(word, "HKLM") || SameNoCase(word, "HKEY_LOCAL_MACHINE"))
            *root = RegistrarRoot::kLocalMachine;
        else if (SameNoCase(word, "HKU") || SameNoCase(word, "HKEY_USERS"))
            *root = RegistrarRoot::kUsers;
        else
            return false;
        return true;
    }

    bool Value(RegistrarValue *value)
    {
        std::string type;
        if (!Word(&type))
            return Fail("expected a value type");
        if (SameNoCase(type, "s")) {
            value->isNumber = false;
            return Quoted(&value->text);
        }
        if (!SameNoCase(type, "d"))
            return Fail("unknown value type");
        value->isNumber = true;
        std::string digits;
        if (Peek('\'')) {
            if (!Quoted(&digits))
                return false;
        } else if (!Word(&digits)) {
            return Fail("expected a number");
        }
        uint64_t number = 0;
        if (digits.empty())
            return Fail("expected a number");
        for (char c : digits) {
            if (c < '0' || c > '9')
                return Fail("expected a number");
            number = number * 10 + static_cast<unsigned>(c - '0');
            if (number > UINT32_MAX)
                return Fail("number too large");
        }
        value->number = static_cast<uint32_t>(number);
        return true;
    }

    // Items up to and including the closing "}". Values ("val") are allowed below a key.
    bool Keys(std::vector<RegistrarKey> *keys, RegistrarKey *owner, int depth)
    {
        if (depth > kMaxRegistrarDepth)
            return Fail("keys nested too deep");
        while (true) {
            if (Peek('}')) {
                ++pos_;
                return true;
            }
            if (pos_ >= text_.size())
                return Fail("expected '}'");
            RegistrarKey key;
            std::string word;
            const size_t before = pos_;
            if (!Peek('\'')) {
                if (!Word(&word))
                    return Fail("expected a key name");
                if (SameNoCase(word, "val") && owner != nullptr && !Peek('=') && !PeekBlock()) {
                    RegistrarValue value;
                    if (!Name(&value.name) || !Expect('=') || !Value(&value))
                        return false;
                    owner->values.push_back(std::move(value));
                    continue;
                }
                if (SameNoCase(word, "NoRemove"))
                    key.rule = KeyRule::kNoRemove;
                else if (SameNoCase(word, "ForceRemove"))
                    key.rule = KeyRule::kForceRemove;
                else if (SameNoCase(word, "Delete"))
                    key.rule = KeyRule::kDelete;
                if (key.rule == KeyRule::kPlain || Peek('=') || PeekBlock()) {
                    // The word was the key's own name.
                    key.rule = KeyRule::kPlain;
                    pos_ = before;
                }
            }
            if (!Name(&key.name))
                return false;
            if (key.name.empty())
                return Fail("empty key name");
            if (Peek('=')) {
                ++pos_;
                key.hasDefault = true;
                if (!Value(&key.defaultValue))
                    return false;
            }
            if (PeekBlock()) {
                ++pos_;
                if (!Keys(&key.subkeys, &key, depth + 1))
                    return false;
            }
            keys->push_back(std::move(key));
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    std::string error_;
};

} // namespace

std::string ExpandRegistrarScript(std::string_view script, const std::vector<RegistrarReplacement> &replacements)
{
    std::string out;
    out.reserve(script.size());
    size_t pos = 0;
    while (pos < script.size()) {
        const char c = script[pos];
        if (c != '%') {
            out.push_back(c);
            ++pos;
            continue;
        }
        const size_t close = script.find('%', pos + 1);
        if (close == std::string_view::npos) {
            out.append(script.substr(pos));
            break;
        }
        const std::string_view name = script.substr(pos + 1, close - pos - 1);
        if (name.empty()) {
            out.push_back('%');
            pos = close + 1;
            continue;
        }
        const RegistrarReplacement *found = nullptr;
        for (const RegistrarReplacement &r : replacements)
            if (SameNoCase(name, r.name.c_str()))
                found = &r;
        if (found == nullptr) {
            // Not a replacement: keep the first '%' and go on from the second one.
            out.push_back('%');
            ++pos;
            continue;
        }
        for (char v : found->value) {
            out.push_back(v);
            if (v == '\'')
                out.push_back('\'');
        }
        pos = close + 1;
    }
    return out;
}

bool ParseRegistrarScript(std::string_view script, std::vector<RegistrarTree> *trees, std::string *error)
{
    trees->clear();
    Parser parser(script);
    if (!parser.Script(trees)) {
        trees->clear();
        if (error != nullptr)
            *error = parser.Error();
        return false;
    }
    return true;
}

} // namespace quillon::capture
