// The test MAPI32.DLL (built as MAPI32.dll into the mailrich test folder and loaded with
// WINEDLLOVERRIDES mapi32=n): an in-memory MAPI profile standing in for the user's mail
// system, the outside party of mailrich.dll.
//
// The profile "Pager Profile" (password "secret") has
//  - a stores table with the default store "store-1" and a second store "store-2";
//  - in each store an Outbox ("outbox") whose CreateMessage records a message;
//  - an address book that resolves "pager@example.org" and "Duty Pager" and nothing else;
//  - a status table with the spooler, the store and one outbound transport
//    ("status-transport"), whose status object offers FlushQueues.
// Sessions are placed above 4 GiB. Every call is written to a trace (with its arguments), and every object is named, so a
// test can check the order of calls and releases. Objects are counted and never freed,
// so a release too many is seen instead of crashing; MAPI buffers are counted too.
// TestMapiFail makes a named call fail with a given result; TestMapiSetOption changes the
// profile (see SetOption below). The Test* functions are the test's controls
// (tests/mail/rich/mapi_double_control.h).
#include <windows.h>
#include <mapicode.h>
#include <mapidefs.h>
#include <mapix.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

struct MessageRecord {
    std::vector<std::string> recipients;
    std::vector<std::string> props;
    bool submitted = false;
};

struct DoubleState {
    std::vector<std::string> trace;
    std::map<std::string, HRESULT> failures;
    std::map<std::string, int> options;
    std::vector<MessageRecord> messages;
    std::vector<std::string> problems;
    std::map<const void *, std::string> objectNames;
    long liveObjects = 0;
    long sessionsAboveFourGigabytes = 0;
    long initializeDepth = 0;
};

DoubleState &State()
{
    static DoubleState state;
    return state;
}

void Trace(const std::string &line) { State().trace.push_back(line); }
void Problem(const std::string &text) { State().problems.push_back(text); }
int Option(const char *name)
{
    auto found = State().options.find(name);
    return found != State().options.end() ? found->second : 0;
}
HRESULT Failure(const std::string &call)
{
    auto found = State().failures.find(call);
    return found != State().failures.end() ? found->second : S_OK;
}

std::string Format(const char *format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// ---- MAPI buffers --------------------------------------------------------------------

struct BlockInfo {
    ULONG size = 0;
    void *parent = nullptr;
    std::vector<void *> children;
};

std::map<void *, BlockInfo> &Blocks()
{
    static std::map<void *, BlockInfo> blocks;
    return blocks;
}

void *NewBlock(ULONG size, void *parent)
{
    void *block = std::calloc(1, size != 0 ? size : 1);
    Blocks()[block] = BlockInfo{size, parent, {}};
    if (parent != nullptr)
        Blocks()[parent].children.push_back(block);
    return block;
}

void FreeBlock(void *block)
{
    auto found = Blocks().find(block);
    std::vector<void *> children = found->second.children;
    Blocks().erase(found);
    for (void *child : children)
        FreeBlock(child);
    std::free(block);
}

// True when [pointer, pointer + size) lies inside the top-level block `block`.
bool LiesInBlock(const void *pointer, size_t size, const void *block)
{
    auto found = Blocks().find(const_cast<void *>(block));
    if (found == Blocks().end() || found->second.parent != nullptr)
        return false;
    const char *start = static_cast<const char *>(block);
    const char *at = static_cast<const char *>(pointer);
    return at >= start && at + size <= start + found->second.size;
}

} // namespace

extern "C" SCODE WINAPI MAPIAllocateBuffer(ULONG size, LPVOID *buffer)
{
    if (buffer == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *buffer = NewBlock(size, nullptr);
    return S_OK;
}

extern "C" SCODE WINAPI MAPIAllocateMore(ULONG size, LPVOID parent, LPVOID *buffer)
{
    auto found = Blocks().find(parent);
    if (buffer == nullptr || found == Blocks().end() || found->second.parent != nullptr) {
        Problem("MAPIAllocateMore on a block that is not from MAPIAllocateBuffer");
        return MAPI_E_INVALID_PARAMETER;
    }
    *buffer = NewBlock(size, parent);
    return S_OK;
}

extern "C" ULONG WINAPI MAPIFreeBuffer(LPVOID buffer)
{
    if (buffer == nullptr)
        return 0;
    auto found = Blocks().find(buffer);
    if (found == Blocks().end()) {
        Problem("MAPIFreeBuffer of a block MAPI did not allocate (or freed twice)");
        return 0;
    }
    if (found->second.parent != nullptr) {
        Problem("MAPIFreeBuffer of a MAPIAllocateMore block");
        return 0;
    }
    FreeBlock(buffer);
    return 0;
}

namespace {

// ---- Property values -----------------------------------------------------------------

// A property as the double keeps it: the text or bytes of PT_STRING8 and PT_BINARY, the
// number of PT_LONG, PT_BOOLEAN and PT_ERROR.
struct Prop {
    ULONG tag;
    std::string bytes;
    LONG number;
};
using Row = std::vector<Prop>;

Prop Text(ULONG tag, const std::string &text) { return Prop{tag, text, 0}; }
Prop Number(ULONG tag, LONG number) { return Prop{tag, std::string(), number}; }

std::string Describe(const SPropValue &value)
{
    std::string text = Format("%08lX=", value.ulPropTag);
    switch (PROP_TYPE(value.ulPropTag)) {
    case PT_STRING8:
        return text + (value.Value.lpszA != nullptr ? value.Value.lpszA : "(null)");
    case PT_LONG:
        return text + Format("%ld", value.Value.l);
    case PT_BOOLEAN:
        return text + (value.Value.b ? "TRUE" : "FALSE");
    case PT_BINARY:
        return value.Value.bin.lpb != nullptr
                   ? text + std::string(reinterpret_cast<const char *>(value.Value.bin.lpb), value.Value.bin.cb)
                   : text + "(null)";
    case PT_ERROR:
        return text + Format("error %08lX", static_cast<unsigned long>(value.Value.err));
    default:
        return text + "?";
    }
}

std::string DescribeValues(const SPropValue *values, ULONG count)
{
    std::string text = "{";
    for (ULONG i = 0; i < count; ++i)
        text += (i > 0 ? ", " : "") + Describe(values[i]);
    return text + "}";
}

std::string DescribeList(const ADRLIST *list)
{
    if (list == nullptr)
        return "(null)";
    std::string text = "[";
    for (ULONG i = 0; i < list->cEntries; ++i)
        text += (i > 0 ? ", " : "") + DescribeValues(list->aEntries[i].rgPropVals, list->aEntries[i].cValues);
    return text + "]";
}

std::string DescribeRestriction(const SRestriction *restriction)
{
    if (restriction == nullptr)
        return "none";
    switch (restriction->rt) {
    case RES_AND: {
        std::string text = "AND(";
        for (ULONG i = 0; i < restriction->res.resAnd.cRes; ++i)
            text += (i > 0 ? ", " : "") + DescribeRestriction(&restriction->res.resAnd.lpRes[i]);
        return text + ")";
    }
    case RES_EXIST:
        return Format("EXIST %08lX", restriction->res.resExist.ulPropTag);
    case RES_PROPERTY:
        return Format("PROPERTY %s %08lX ", restriction->res.resProperty.relop == RELOP_EQ ? "EQ" : "other",
                      restriction->res.resProperty.ulPropTag) +
               (restriction->res.resProperty.lpProp != nullptr ? Describe(*restriction->res.resProperty.lpProp)
                                                               : "(null)");
    case RES_BITMASK:
        return Format("BITMASK %s %08lX %lX", restriction->res.resBitMask.relBMR == BMR_NEZ ? "NEZ" : "EQZ",
                      restriction->res.resBitMask.ulPropTag, restriction->res.resBitMask.ulMask);
    default:
        return Format("restriction type %lu", restriction->rt);
    }
}

std::string EntryText(ULONG size, const ENTRYID *entry)
{
    return entry != nullptr ? std::string(reinterpret_cast<const char *>(entry), size) : "(null)";
}

const Prop *Find(const Row &row, ULONG tag)
{
    for (const Prop &prop : row)
        if (prop.tag == tag)
            return &prop;
    return nullptr;
}

bool Matches(const Row &row, const SRestriction &restriction)
{
    switch (restriction.rt) {
    case RES_AND:
        for (ULONG i = 0; i < restriction.res.resAnd.cRes; ++i)
            if (!Matches(row, restriction.res.resAnd.lpRes[i]))
                return false;
        return true;
    case RES_EXIST:
        return Find(row, restriction.res.resExist.ulPropTag) != nullptr;
    case RES_PROPERTY: {
        const Prop *prop = Find(row, restriction.res.resProperty.ulPropTag);
        const SPropValue *value = restriction.res.resProperty.lpProp;
        if (prop == nullptr || value == nullptr || restriction.res.resProperty.relop != RELOP_EQ)
            return false;
        switch (PROP_TYPE(prop->tag)) {
        case PT_BOOLEAN:
            return (prop->number != 0) == (value->Value.b != 0);
        case PT_LONG:
            return prop->number == value->Value.l;
        case PT_STRING8:
            return value->Value.lpszA != nullptr && prop->bytes == value->Value.lpszA;
        default:
            return false;
        }
    }
    case RES_BITMASK: {
        const Prop *prop = Find(row, restriction.res.resBitMask.ulPropTag);
        if (prop == nullptr)
            return false;
        bool masked = (static_cast<ULONG>(prop->number) & restriction.res.resBitMask.ulMask) != 0;
        return restriction.res.resBitMask.relBMR == BMR_NEZ ? masked : !masked;
    }
    default:
        return false;
    }
}

// Fills `value` from `prop`; texts and bytes go into blocks owned by `parent`.
void FillValue(SPropValue *value, const Prop &prop, void *parent)
{
    value->ulPropTag = prop.tag;
    switch (PROP_TYPE(prop.tag)) {
    case PT_STRING8:
    case PT_BINARY: {
        void *bytes = nullptr;
        MAPIAllocateMore(static_cast<ULONG>(prop.bytes.size() + 1), parent, &bytes);
        std::memcpy(bytes, prop.bytes.c_str(), prop.bytes.size() + 1);
        if (PROP_TYPE(prop.tag) == PT_STRING8) {
            value->Value.lpszA = static_cast<char *>(bytes);
        } else {
            value->Value.bin.cb = static_cast<ULONG>(prop.bytes.size());
            value->Value.bin.lpb = static_cast<BYTE *>(bytes);
        }
        break;
    }
    case PT_BOOLEAN:
        value->Value.b = static_cast<unsigned short>(prop.number != 0);
        break;
    default:
        value->Value.l = prop.number;
        break;
    }
}

// A block of values for the given tags of `row`; a tag the row lacks comes back as
// PT_ERROR with MAPI_E_NOT_FOUND, as MAPI does.
SPropValue *ValuesOf(const Row &row, const std::vector<ULONG> &tags)
{
    void *block = nullptr;
    MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * (tags.empty() ? 1 : tags.size())), &block);
    auto *values = static_cast<SPropValue *>(block);
    for (size_t i = 0; i < tags.size(); ++i) {
        const Prop *prop = Find(row, tags[i]);
        if (prop != nullptr)
            FillValue(&values[i], *prop, block);
        else
            FillValue(&values[i], Number(PROP_TAG(PT_ERROR, PROP_ID(tags[i])), MAPI_E_NOT_FOUND), block);
    }
    return values;
}

std::vector<ULONG> TagsOf(const Row &row)
{
    std::vector<ULONG> tags;
    for (const Prop &prop : row)
        tags.push_back(prop.tag);
    return tags;
}

// ---- Objects -------------------------------------------------------------------------

#define DOUBLE_NO_SUPPORT \
    {                     \
        return MAPI_E_NO_SUPPORT; \
    }

struct SessionBase : IMAPISession {
    MAPI_IMAPISESSION_METHODS(DOUBLE_NO_SUPPORT)
};
struct TableBase : IMAPITable {
    MAPI_IMAPITABLE_METHODS(DOUBLE_NO_SUPPORT)
};
struct StoreBase : IMsgStore {
    MAPI_IMAPIPROP_METHODS(DOUBLE_NO_SUPPORT)
    MAPI_IMSGSTORE_METHODS(DOUBLE_NO_SUPPORT)
};
struct FolderBase : IMAPIFolder {
    MAPI_IMAPIPROP_METHODS(DOUBLE_NO_SUPPORT)
    MAPI_IMAPICONTAINER_METHODS(DOUBLE_NO_SUPPORT)
    MAPI_IMAPIFOLDER_METHODS(DOUBLE_NO_SUPPORT)
};
struct MessageBase : IMessage {
    MAPI_IMAPIPROP_METHODS(DOUBLE_NO_SUPPORT)
    MAPI_IMESSAGE_METHODS(DOUBLE_NO_SUPPORT)
};
struct AddressBookBase : IAddrBook {
    MAPI_IMAPIPROP_METHODS(DOUBLE_NO_SUPPORT)
    MAPI_IADDRBOOK_METHODS(DOUBLE_NO_SUPPORT)
};
struct StatusBase : IMAPIStatus {
    MAPI_IMAPIPROP_METHODS(DOUBLE_NO_SUPPORT)
    MAPI_IMAPISTATUS_METHODS(DOUBLE_NO_SUPPORT)
};

// Reference counting for every object. Objects are never freed: a release after the
// last one is recorded as a problem instead of touching freed memory.
template <typename Base>
class Counted : public Base {
public:
    explicit Counted(const std::string &name) : name_(name)
    {
        ++State().liveObjects;
        State().objectNames[static_cast<Base *>(this)] = name;
    }
    virtual ~Counted() = default;

    STDMETHODIMP QueryInterface(REFIID iid, LPVOID *object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<Base *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override
    {
        if (references_ == 0)
            Problem("AddRef of " + name_ + " after its end");
        return ++references_;
    }
    STDMETHODIMP_(ULONG) Release() override
    {
        if (references_ == 0) {
            Problem("Release of " + name_ + " after its end");
            return 0;
        }
        if (--references_ == 0) {
            Trace("release " + name_);
            --State().liveObjects;
        }
        return references_;
    }

protected:
    std::string name_;
    ULONG references_ = 1;
};

std::string NameOf(const void *object)
{
    auto found = State().objectNames.find(object);
    return found != State().objectNames.end() ? found->second : "(unknown object)";
}

std::string InterfaceText(LPCIID iid) { return iid != nullptr ? "given" : "none"; }

class Table : public Counted<TableBase> {
public:
    Table(const std::string &name, std::vector<Row> rows) : Counted(name), rows_(std::move(rows))
    {
        for (size_t i = 0; i < rows_.size(); ++i)
            view_.push_back(i);
    }

    STDMETHODIMP SetColumns(LPSPropTagArray tags, ULONG flags) override
    {
        columns_.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        return S_OK;
    }
    STDMETHODIMP Restrict(LPSRestriction restriction, ULONG flags) override
    {
        view_.clear();
        for (size_t i = 0; i < rows_.size(); ++i)
            if (restriction == nullptr || Matches(rows_[i], *restriction))
                view_.push_back(i);
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP SortTable(LPSSortOrderSet order, ULONG flags) override { return S_OK; }
    STDMETHODIMP GetRowCount(ULONG flags, ULONG *count) override
    {
        *count = static_cast<ULONG>(view_.size());
        return S_OK;
    }
    STDMETHODIMP SeekRow(BOOKMARK origin, LONG count, LONG *sought) override
    {
        position_ = 0;
        if (sought != nullptr)
            *sought = 0;
        return S_OK;
    }
    STDMETHODIMP QueryRows(LONG count, ULONG flags, LPSRowSet *rows) override
    {
        size_t wanted = count < 0 ? 0 : static_cast<size_t>(count);
        size_t available = view_.size() - position_;
        size_t taken = wanted < available ? wanted : available;
        void *block = nullptr;
        MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(taken == 0 ? 1 : taken)), &block);
        auto *set = static_cast<SRowSet *>(block);
        set->cRows = static_cast<ULONG>(taken);
        for (size_t i = 0; i < taken; ++i) {
            const Row &row = rows_[view_[position_ + i]];
            std::vector<ULONG> tags = columns_.empty() ? TagsOf(row) : columns_;
            set->aRow[i].ulAdrEntryPad = 0;
            set->aRow[i].cValues = static_cast<ULONG>(tags.size());
            set->aRow[i].lpProps = ValuesOf(row, tags);
        }
        position_ += taken;
        *rows = set;
        return S_OK;
    }

    const std::string &Name() const { return name_; }

private:
    std::vector<Row> rows_;
    std::vector<ULONG> columns_;
    std::vector<size_t> view_;
    size_t position_ = 0;
};

std::map<const void *, Table *> &Tables()
{
    static std::map<const void *, Table *> tables;
    return tables;
}

Table *NewTable(const std::string &name, std::vector<Row> rows)
{
    Table *table = new Table(name, std::move(rows));
    Tables()[static_cast<IMAPITable *>(table)] = table;
    return table;
}

class Message : public Counted<MessageBase> {
public:
    explicit Message(size_t index) : Counted("message"), index_(index) {}

    STDMETHODIMP SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray *problems) override
    {
        for (ULONG i = 0; i < count; ++i)
            State().messages[index_].props.push_back(Describe(values[i]));
        if (problems != nullptr)
            *problems = nullptr;
        return S_OK;
    }
    STDMETHODIMP ModifyRecipients(ULONG flags, LPADRLIST list) override
    {
        Trace(Format("ModifyRecipients flags=%lu ", flags) + DescribeList(list));
        if (HRESULT failure = Failure("ModifyRecipients"))
            return failure;
        for (ULONG i = 0; list != nullptr && i < list->cEntries; ++i)
            State().messages[index_].recipients.push_back(
                DescribeValues(list->aEntries[i].rgPropVals, list->aEntries[i].cValues));
        return S_OK;
    }
    STDMETHODIMP SubmitMessage(ULONG flags) override
    {
        Trace(Format("SubmitMessage flags=%lu", flags));
        if (HRESULT failure = Failure("SubmitMessage"))
            return failure;
        State().messages[index_].submitted = true;
        return S_OK;
    }

private:
    size_t index_;
};

class Folder : public Counted<FolderBase> {
public:
    Folder() : Counted("outbox") {}

    STDMETHODIMP CreateMessage(LPCIID iid, ULONG flags, LPMESSAGE *message) override
    {
        Trace("CreateMessage interface=" + InterfaceText(iid) + Format(" flags=%lu", flags));
        if (HRESULT failure = Failure("CreateMessage"))
            return failure;
        State().messages.emplace_back();
        *message = new Message(State().messages.size() - 1);
        return S_OK;
    }
};

class Store : public Counted<StoreBase> {
public:
    Store() : Counted("store") {}

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG *count, LPSPropValue *values) override
    {
        Row row;
        if (Option("no-outbox") == 0)
            row.push_back(Text(PR_IPM_OUTBOX_ENTRYID, "outbox"));
        *values = ValuesOf(row, std::vector<ULONG>(tags->aulPropTag, tags->aulPropTag + tags->cValues));
        *count = tags->cValues;
        return S_OK;
    }
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID entry, LPCIID iid, ULONG flags, ULONG *type,
                           LPUNKNOWN *object) override
    {
        Trace("OpenEntry store entry=" + EntryText(size, entry) + " interface=" + InterfaceText(iid) +
              Format(" flags=%lu", flags));
        if (HRESULT failure = Failure("OpenEntry store"))
            return failure;
        if (EntryText(size, entry) != "outbox")
            return MAPI_E_NOT_FOUND;
        *type = MAPI_FOLDER;
        *object = static_cast<IMAPIFolder *>(new Folder());
        return S_OK;
    }
};

struct Person {
    const char *lookup;
    const char *displayName;
    const char *address;
};
const Person kDirectory[] = {
    {"pager@example.org", "Pager Desk", "pager@example.org"},
    {"Duty Pager", "Duty Pager", "duty@example.org"},
};

class AddressBook : public Counted<AddressBookBase> {
public:
    AddressBook() : Counted("address book") {}

    STDMETHODIMP ResolveName(ULONG_PTR window, ULONG flags, LPTSTR title, LPADRLIST list) override
    {
        std::string line = Format("ResolveName ui=%llu flags=%lu title=%s ", static_cast<unsigned long long>(window),
                                  flags, title != nullptr ? "given" : "none") +
                           DescribeList(list);
        // The name to resolve, with its values, in one block of the caller's.
        if (list != nullptr && list->cEntries > 0) {
            const ADRENTRY &first = list->aEntries[0];
            bool oneBlock = LiesInBlock(first.rgPropVals, sizeof(SPropValue) * first.cValues, first.rgPropVals);
            for (ULONG i = 0; oneBlock && i < first.cValues; ++i)
                if (PROP_TYPE(first.rgPropVals[i].ulPropTag) == PT_STRING8 && first.rgPropVals[i].Value.lpszA != nullptr)
                    oneBlock = LiesInBlock(first.rgPropVals[i].Value.lpszA,
                                           std::strlen(first.rgPropVals[i].Value.lpszA) + 1, first.rgPropVals);
            line += oneBlock ? " in one block" : " not in one block";
        }
        Trace(line);
        if (HRESULT failure = Failure("ResolveName"))
            return failure;
        if (list == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        // Resolve all or nothing, as the name is either known or not.
        std::vector<const Person *> found;
        for (ULONG i = 0; i < list->cEntries; ++i) {
            const ADRENTRY &entry = list->aEntries[i];
            const Person *person = nullptr;
            for (ULONG v = 0; v < entry.cValues; ++v)
                if (entry.rgPropVals[v].ulPropTag == PR_DISPLAY_NAME_A)
                    for (const Person &candidate : kDirectory)
                        if (std::strcmp(entry.rgPropVals[v].Value.lpszA, candidate.lookup) == 0)
                            person = &candidate;
            if (person == nullptr)
                return MAPI_E_NOT_FOUND;
            found.push_back(person);
        }
        for (ULONG i = 0; i < list->cEntries; ++i) {
            ADRENTRY &entry = list->aEntries[i];
            Row resolved = {Text(PR_ENTRYID, std::string("ab:") + found[i]->address),
                            Text(PR_DISPLAY_NAME_A, found[i]->displayName), Text(PR_ADDRTYPE_A, "SMTP"),
                            Text(PR_EMAIL_ADDRESS_A, found[i]->address)};
            for (ULONG v = 0; v < entry.cValues; ++v)
                if (entry.rgPropVals[v].ulPropTag == PR_RECIPIENT_TYPE)
                    resolved.push_back(Number(PR_RECIPIENT_TYPE, entry.rgPropVals[v].Value.l));
            SPropValue *values = ValuesOf(resolved, TagsOf(resolved));
            MAPIFreeBuffer(entry.rgPropVals);
            entry.rgPropVals = values;
            entry.cValues = static_cast<ULONG>(resolved.size());
        }
        return S_OK;
    }
};

class Status : public Counted<StatusBase> {
public:
    Status() : Counted("status") {}

    STDMETHODIMP FlushQueues(ULONG window, ULONG targetSize, LPENTRYID target, ULONG flags) override
    {
        Trace(Format("FlushQueues ui=%lu target=%s flags=%lX", window, target != nullptr ? "given" : "none", flags));
        return Failure("FlushQueues");
    }
};

class Session : public Counted<SessionBase> {
public:
    Session() : Counted("session") {}

    STDMETHODIMP GetMsgStoresTable(ULONG flags, LPMAPITABLE *table) override
    {
        Trace(Format("GetMsgStoresTable flags=%lu", flags));
        if (HRESULT failure = Failure("GetMsgStoresTable"))
            return failure;
        Row personal = {Text(PR_ENTRYID, "store-1"), Text(PR_DISPLAY_NAME_A, "Personal Folders"),
                        Number(PR_DEFAULT_STORE, Option("no-default-store") == 0)};
        if (Option("entry-id-last") != 0)
            personal = {Text(PR_DISPLAY_NAME_A, "Personal Folders"), Number(PR_DEFAULT_STORE, 1),
                        Text(PR_ENTRYID, "store-1")};
        Row archive = {Text(PR_ENTRYID, "store-2"), Text(PR_DISPLAY_NAME_A, "Archive"), Number(PR_DEFAULT_STORE, 0)};
        *table = NewTable("stores table", {archive, personal});
        return S_OK;
    }
    STDMETHODIMP OpenMsgStore(ULONG_PTR window, ULONG size, LPENTRYID entry, LPCIID iid, ULONG flags,
                              LPMDB *store) override
    {
        Trace(Format("OpenMsgStore ui=%llu entry=", static_cast<unsigned long long>(window)) + EntryText(size, entry) +
              " interface=" + InterfaceText(iid) + Format(" flags=%lu", flags));
        if (HRESULT failure = Failure("OpenMsgStore"))
            return failure;
        if (EntryText(size, entry) != "store-1" && EntryText(size, entry) != "store-2")
            return MAPI_E_NOT_FOUND;
        *store = new Store();
        return S_OK;
    }
    STDMETHODIMP OpenAddressBook(ULONG_PTR window, LPCIID iid, ULONG flags, LPADRBOOK *book) override
    {
        Trace(Format("OpenAddressBook ui=%llu interface=", static_cast<unsigned long long>(window)) +
              InterfaceText(iid) + Format(" flags=%lu", flags));
        if (HRESULT failure = Failure("OpenAddressBook"))
            return failure;
        *book = new AddressBook();
        return S_OK;
    }
    STDMETHODIMP GetStatusTable(ULONG flags, LPMAPITABLE *table) override
    {
        Trace(Format("GetStatusTable flags=%lu", flags));
        if (HRESULT failure = Failure("GetStatusTable"))
            return failure;
        std::vector<Row> rows = {
            {Text(PR_ENTRYID, "status-spooler"), Number(PR_RESOURCE_TYPE, MAPI_SPOOLER), Number(PR_RESOURCE_FLAGS, 0)},
            {Text(PR_ENTRYID, "status-store"), Number(PR_RESOURCE_TYPE, MAPI_STORE_PROVIDER),
             Number(PR_RESOURCE_FLAGS, STATUS_DEFAULT_STORE)},
        };
        if (Option("no-transport") == 0)
            rows.push_back({Text(PR_ENTRYID, "status-transport"), Number(PR_RESOURCE_TYPE, MAPI_TRANSPORT_PROVIDER),
                            Number(PR_RESOURCE_FLAGS, STATUS_DEFAULT_OUTBOUND)});
        *table = NewTable("status table", rows);
        return S_OK;
    }
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID entry, LPCIID iid, ULONG flags, ULONG *type,
                           LPUNKNOWN *object) override
    {
        Trace("OpenEntry session entry=" + EntryText(size, entry) + " interface=" + InterfaceText(iid) +
              Format(" flags=%lu", flags));
        if (HRESULT failure = Failure("OpenEntry session"))
            return failure;
        if (EntryText(size, entry) != "status-transport")
            return MAPI_E_NOT_FOUND;
        if (Option("status-opens-store") != 0) {
            *type = MAPI_STORE;
            *object = static_cast<IMsgStore *>(new Store());
            return S_OK;
        }
        *type = MAPI_STATUS;
        *object = static_cast<IMAPIStatus *>(new Status());
        return S_OK;
    }
    STDMETHODIMP Logoff(ULONG_PTR window, ULONG flags, ULONG reserved) override
    {
        Trace(Format("Logoff ui=%llu flags=%lu", static_cast<unsigned long long>(window), flags));
        return S_OK;
    }
};

// Sessions live above 4 GiB, where a 64-bit MAPI may well put them: a caller that
// squeezed the session pointer into 32 bits would lose it. (Never freed, like every
// object of the double.)
Session *NewSessionAboveFourGigabytes()
{
    for (uintptr_t gigabytes = 64; gigabytes < 64 * 1024; gigabytes += 64) {
        void *place = VirtualAlloc(reinterpret_cast<void *>(gigabytes << 30), sizeof(Session),
                                   MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (place != nullptr) {
            State().sessionsAboveFourGigabytes += reinterpret_cast<uintptr_t>(place) > 0xFFFFFFFFu;
            return new (place) Session();
        }
    }
    return new Session();
}

} // namespace

// ---- MAPI functions --------------------------------------------------------------------

extern "C" HRESULT WINAPI MAPIInitialize(LPVOID init)
{
    Trace(std::string("MAPIInitialize ") + (init != nullptr ? "record" : "none"));
    if (HRESULT failure = Failure("MAPIInitialize"))
        return failure;
    ++State().initializeDepth;
    return S_OK;
}

extern "C" void WINAPI MAPIUninitialize(void)
{
    Trace("MAPIUninitialize");
    if (State().initializeDepth == 0)
        Problem("MAPIUninitialize without MAPIInitialize");
    else
        --State().initializeDepth;
}

extern "C" HRESULT WINAPI MAPILogonEx(ULONG_PTR window, LPTSTR profile, LPTSTR password, ULONG flags,
                                      LPMAPISESSION *session)
{
    Trace(Format("MAPILogonEx ui=%llu profile=%s password=%s flags=%lX", static_cast<unsigned long long>(window),
                 profile != nullptr ? profile : "(null)", password != nullptr ? password : "(null)", flags));
    if (State().initializeDepth == 0)
        return MAPI_E_NOT_INITIALIZED;
    if (HRESULT failure = Failure("MAPILogonEx"))
        return failure;
    if (profile == nullptr || password == nullptr || std::strcmp(profile, "Pager Profile") != 0 ||
        std::strcmp(password, "secret") != 0)
        return MAPI_E_LOGON_FAILED;
    *session = NewSessionAboveFourGigabytes();
    return Option("logon-warning") != 0 ? MAPI_W_ERRORS_RETURNED : S_OK;
}

extern "C" HRESULT WINAPI DoubleHrQueryAllRows(LPMAPITABLE table, LPSPropTagArray tags, LPSRestriction restriction,
                                               LPSSortOrderSet sortOrder, LONG maxRows, LPSRowSet *rows)
{
    auto known = Tables().find(table);
    if (known == Tables().end()) {
        Problem("HrQueryAllRows on an object that is no table");
        return MAPI_E_INVALID_PARAMETER;
    }
    std::string columns = "current";
    if (tags != nullptr) {
        columns.clear();
        for (ULONG i = 0; i < tags->cValues; ++i)
            columns += Format(i > 0 ? ",%08lX" : "%08lX", tags->aulPropTag[i]);
    }
    Trace("HrQueryAllRows " + known->second->Name() + " columns=" + columns +
          " restriction=" + DescribeRestriction(restriction) + " sort=" + (sortOrder != nullptr ? "given" : "none") +
          Format(" max=%ld", maxRows));
    if (HRESULT failure = Failure("HrQueryAllRows " + known->second->Name()))
        return failure;
    if (tags != nullptr)
        table->SetColumns(tags, 0);
    table->Restrict(restriction, 0);
    if (sortOrder != nullptr)
        table->SortTable(sortOrder, 0);
    ULONG count = 0;
    table->GetRowCount(0, &count);
    if (maxRows > 0 && count > static_cast<ULONG>(maxRows))
        return MAPI_E_TABLE_TOO_BIG;
    table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
    return table->QueryRows(static_cast<LONG>(count), 0, rows);
}

extern "C" HRESULT WINAPI DoubleHrGetOneProp(LPMAPIPROP object, ULONG tag, LPSPropValue *value)
{
    Trace("HrGetOneProp " + NameOf(object) + Format(" %08lX", tag));
    if (HRESULT failure = Failure("HrGetOneProp"))
        return failure;
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    HRESULT result = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
    if (FAILED(result))
        return result;
    if (PROP_TYPE(values[0].ulPropTag) == PT_ERROR) {
        result = values[0].Value.err;
        MAPIFreeBuffer(values);
        return result;
    }
    *value = values;
    return S_OK;
}

extern "C" HRESULT WINAPI DoubleHrSetOneProp(LPMAPIPROP object, LPSPropValue value)
{
    Trace("HrSetOneProp " + NameOf(object) + " " + Describe(*value));
    if (HRESULT failure = Failure(Format("HrSetOneProp %08lX", value->ulPropTag)))
        return failure;
    return object->SetProps(1, value, nullptr);
}

extern "C" void WINAPI DoubleFreeProws(LPSRowSet rows)
{
    Trace(rows != nullptr ? Format("FreeProws %lu", rows->cRows) : std::string("FreeProws (null)"));
    if (rows == nullptr)
        return;
    for (ULONG i = 0; i < rows->cRows; ++i)
        MAPIFreeBuffer(rows->aRow[i].lpProps);
    MAPIFreeBuffer(rows);
}

// ---- Test controls ---------------------------------------------------------------------

namespace {

BOOL CopyOut(const std::string &text, char *buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return FALSE;
    size_t length = text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length == text.size();
}

} // namespace

// Forgets the trace, the recorded messages, the failures, the options and the problems.
// Object, buffer and initialisation counts carry on: they must come back to 0 by
// themselves.
extern "C" void TestMapiReset()
{
    DoubleState &state = State();
    state.trace.clear();
    state.failures.clear();
    state.options.clear();
    state.messages.clear();
    state.problems.clear();
}

// The call named `call` (as in the trace: "MAPILogonEx", "GetMsgStoresTable",
// "HrQueryAllRows stores table", "OpenMsgStore", "HrGetOneProp", "OpenEntry store",
// "CreateMessage", "OpenAddressBook", "ResolveName", "ModifyRecipients",
// "HrSetOneProp 0037001E", "HrSetOneProp 1000001E", "SubmitMessage", "GetStatusTable",
// "HrQueryAllRows status table", "OpenEntry session", "FlushQueues") returns `result`
// from now on.
extern "C" void TestMapiFail(const char *call, LONG result) { State().failures[call] = result; }

// "no-default-store": the personal store is not the default; "entry-id-last": the
// stores table's first column is not PR_ENTRYID; "no-outbox": the store has no Outbox
// entry identifier; "no-transport": no outbound transport in the status table;
// "status-opens-store": the transport's status entry opens as a store; "logon-warning":
// the logon returns MAPI_W_ERRORS_RETURNED with its session.
extern "C" void TestMapiSetOption(const char *name, int value) { State().options[name] = value; }

extern "C" long TestMapiLiveObjects() { return State().liveObjects; }
extern "C" long TestMapiSessionsAboveFourGigabytes() { return State().sessionsAboveFourGigabytes; }
extern "C" long TestMapiOutstandingBuffers() { return static_cast<long>(Blocks().size()); }
extern "C" long TestMapiInitializeDepth() { return State().initializeDepth; }
extern "C" int TestMapiTraceCount() { return static_cast<int>(State().trace.size()); }
extern "C" BOOL TestMapiTraceLine(int index, char *buffer, int size)
{
    if (index < 0 || static_cast<size_t>(index) >= State().trace.size())
        return FALSE;
    return CopyOut(State().trace[index], buffer, size);
}
extern "C" int TestMapiMessageCount() { return static_cast<int>(State().messages.size()); }

// One recorded message as text: "recipients=[...]; props=[...]; submitted=yes|no".
extern "C" BOOL TestMapiMessage(int index, char *buffer, int size)
{
    if (index < 0 || static_cast<size_t>(index) >= State().messages.size())
        return FALSE;
    const MessageRecord &message = State().messages[index];
    std::string text = "recipients=[";
    for (size_t i = 0; i < message.recipients.size(); ++i)
        text += (i > 0 ? ", " : "") + message.recipients[i];
    text += "]; props=[";
    for (size_t i = 0; i < message.props.size(); ++i)
        text += (i > 0 ? ", " : "") + message.props[i];
    text += std::string("]; submitted=") + (message.submitted ? "yes" : "no");
    return CopyOut(text, buffer, size);
}

// Everything the double saw go wrong (bad frees, releases too many), one per line.
extern "C" int TestMapiProblems(char *buffer, int size)
{
    std::string text;
    for (const std::string &problem : State().problems)
        text += problem + "\n";
    CopyOut(text, buffer, size);
    return static_cast<int>(State().problems.size());
}
