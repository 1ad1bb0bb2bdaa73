#include "mail/rich/rich_library.h"

#include <mapicode.h>
#include <mapidefs.h>

#include <cstring>
#include <utility>

#include "common/handles.h"
#include "common/log.h"

namespace quillon {

namespace {

// Published MAPI property tags, in their 8-bit text forms.
constexpr ULONG kTagDefaultStore = 0x3400000B;     // PR_DEFAULT_STORE
constexpr ULONG kTagEntryId = 0x0FFF0102;          // PR_ENTRYID
constexpr ULONG kTagOutboxEntryId = 0x35E20102;    // PR_IPM_OUTBOX_ENTRYID
constexpr ULONG kTagDisplayName = 0x3001001E;      // PR_DISPLAY_NAME_A
constexpr ULONG kTagRecipientType = 0x0C150003;    // PR_RECIPIENT_TYPE
constexpr ULONG kTagSubject = 0x0037001E;          // PR_SUBJECT_A
constexpr ULONG kTagBody = 0x1000001E;             // PR_BODY_A
constexpr ULONG kTagResourceType = 0x3E030003;     // PR_RESOURCE_TYPE
constexpr ULONG kTagResourceFlags = 0x30090003;    // PR_RESOURCE_FLAGS
static_assert(kTagDefaultStore == PR_DEFAULT_STORE && kTagEntryId == PR_ENTRYID &&
                  kTagOutboxEntryId == PR_IPM_OUTBOX_ENTRYID && kTagDisplayName == PR_DISPLAY_NAME_A &&
                  kTagRecipientType == PR_RECIPIENT_TYPE && kTagSubject == PR_SUBJECT_A && kTagBody == PR_BODY_A &&
                  kTagResourceType == PR_RESOURCE_TYPE && kTagResourceFlags == PR_RESOURCE_FLAGS,
              "published MAPI tags");

// Status rows of the transport that sends: STATUS_DEFAULT_OUTBOUND, STATUS_PRIMARY_IDENTITY
// and STATUS_NO_PRIMARY_IDENTITY.
constexpr ULONG kOutboundResourceMask = 0x25;

constexpr ULONG kOpenStoreFlags = MDB_NO_DIALOG | MDB_WRITE;   // 5
constexpr ULONG kFlushFlags = FLUSH_UPLOAD | FLUSH_NO_UI;      // 0x12

// A row set from HrQueryAllRows, freed with FreeProws.
class RowSet {
public:
    explicit RowSet(FreeProwsFunction freeRows) : freeRows_(freeRows) {}
    ~RowSet() { Reset(); }
    RowSet(const RowSet &) = delete;
    RowSet &operator=(const RowSet &) = delete;

    LPSRowSet *Put()
    {
        Reset();
        return &rows_;
    }
    void Reset()
    {
        if (rows_ != nullptr)
            freeRows_(std::exchange(rows_, nullptr));
    }
    // The entry identifier in the first column of the only row: false when the set does
    // not hold exactly one row, true with *entryIdFirst false when that row's first
    // column is not PR_ENTRYID. *entryId points into the rows: use it before Reset().
    bool OnlyRow(bool *entryIdFirst, SBinary *entryId) const
    {
        *entryIdFirst = false;
        if (rows_ == nullptr || rows_->cRows != 1)
            return false;
        const SRow &row = rows_->aRow[0];
        if (row.cValues > 0 && row.lpProps != nullptr && row.lpProps[0].ulPropTag == kTagEntryId) {
            *entryIdFirst = true;
            *entryId = row.lpProps[0].Value.bin;
        }
        return true;
    }

private:
    FreeProwsFunction freeRows_;
    LPSRowSet rows_ = nullptr;
};

// A block from MAPIAllocateBuffer (or handed out by MAPI to be freed by the caller).
template <typename Type>
class MapiBuffer {
public:
    MapiBuffer() = default;
    ~MapiBuffer() { Reset(); }
    MapiBuffer(const MapiBuffer &) = delete;
    MapiBuffer &operator=(const MapiBuffer &) = delete;

    Type *Get() const { return buffer_; }
    Type *operator->() const { return buffer_; }
    Type **Put()
    {
        Reset();
        return &buffer_;
    }
    void Reset()
    {
        if (buffer_ != nullptr)
            MAPIFreeBuffer(std::exchange(buffer_, nullptr));
    }

private:
    Type *buffer_ = nullptr;
};

// The one-entry address list handed to ResolveName and ModifyRecipients. ResolveName
// replaces the entry's property block with one of its own and frees ours, so the block
// is freed through the list, whichever it is by then.
class AddressList {
public:
    AddressList() = default;
    ~AddressList() { Reset(); }
    AddressList(const AddressList &) = delete;
    AddressList &operator=(const AddressList &) = delete;

    // One MAPI_TO entry: PR_DISPLAY_NAME = destination and PR_RECIPIENT_TYPE, both values
    // and the copy of the destination text in one block.
    SCODE Build(const char *destination)
    {
        Reset();
        const size_t textSize = std::strlen(destination) + 1;
        const size_t valuesSize = 2 * sizeof(SPropValue);
        if (textSize > 0x7FFFFFFF - valuesSize)
            return MAPI_E_NOT_ENOUGH_MEMORY;
        SCODE result = MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(1)), reinterpret_cast<LPVOID *>(&list_));
        if (FAILED(result) || list_ == nullptr)
            return FAILED(result) ? result : MAPI_E_NOT_ENOUGH_MEMORY;
        list_->cEntries = 0;
        LPVOID block = nullptr;
        result = MAPIAllocateBuffer(static_cast<ULONG>(valuesSize + textSize), &block);
        if (FAILED(result) || block == nullptr)
            return FAILED(result) ? result : MAPI_E_NOT_ENOUGH_MEMORY;
        auto *values = static_cast<SPropValue *>(block);
        char *text = static_cast<char *>(block) + valuesSize;
        std::memcpy(text, destination, textSize);
        std::memset(values, 0, valuesSize);
        values[0].ulPropTag = kTagDisplayName;
        values[0].Value.lpszA = text;
        values[1].ulPropTag = kTagRecipientType;
        values[1].Value.l = MAPI_TO;
        list_->cEntries = 1;
        list_->aEntries[0].ulReserved1 = 0;
        list_->aEntries[0].cValues = 2;
        list_->aEntries[0].rgPropVals = values;
        return S_OK;
    }
    LPADRLIST Get() const { return list_; }
    void Reset()
    {
        if (list_ == nullptr)
            return;
        for (ULONG i = 0; i < list_->cEntries; ++i)
            if (list_->aEntries[i].rgPropVals != nullptr)
                MAPIFreeBuffer(list_->aEntries[i].rgPropVals);
        MAPIFreeBuffer(std::exchange(list_, nullptr));
    }

private:
    LPADRLIST list_ = nullptr;
};

// OpenEntry hands out the object's own interface as IUnknown when no interface is asked
// for; it is taken as `Interface` only when the object is of the expected type.
template <typename Interface>
HRESULT TakeOpened(ComPtr<IUnknown> *opened, ULONG objectType, ULONG expectedType, ComPtr<Interface> *object)
{
    if (objectType != expectedType)
        return MAPI_E_INVALID_OBJECT;
    object->Attach(reinterpret_cast<Interface *>(opened->Detach()));
    return S_OK;
}

const char *TextOrEmpty(const char *text) { return text != nullptr ? text : ""; }

} // namespace

void RichLibrary::Log(const std::string &line) const
{
    if (logging_ != 0)
        AppendLogText(logFile_, line + "\r\n");
}

MailResult RichLibrary::Failed(const char *format, HRESULT result) const
{
    Log(FormatText(format, static_cast<unsigned long>(result)));
    return result;
}

MailResult RichLibrary::Logon(const char *profile, const char *password, MailSession *session, int logging,
                              const char *logFile)
{
    logging_ = logging;
    CopyBounded(logFile_, logFile);

    // The result is not examined: a MAPI that failed to start fails the logon next. It
    // only decides whether this session owes MAPI an uninitialise.
    const bool initialized = SUCCEEDED(MAPIInitialize(nullptr));
    IMAPISession *opened = nullptr;
    HRESULT result = MAPILogonEx(0, const_cast<LPSTR>(profile), const_cast<LPSTR>(password), 0, &opened);
    uint32_t handle = 0;
    if (result == S_OK && opened != nullptr && session != nullptr)
        handle = sessions_.Add(SessionEntry{opened, initialized});
    if (handle == 0) {
        // A refused logon, a warning (which must not read as success to the caller), a
        // session without an object, or no room to keep it: nothing stays open.
        if (opened != nullptr) {
            if (SUCCEEDED(result))
                opened->Logoff(0, 0, 0);
            opened->Release();
        }
        if (result == S_OK)
            result = kMailFailed;
        Log(FormatText("MAILRICH Logon error %lX", static_cast<unsigned long>(result)));
        if (initialized)
            MAPIUninitialize();
        return result < 0 ? result : kMailFailed;
    }
    *session = handle;
    return kMailOk;
}

MailResult RichLibrary::Send(MailSession handle, const char *sender, const char *destination, const char *subject,
                             const char *body)
{
    SessionEntry *entry = sessions_.Find(handle);
    if (entry == nullptr) {
        Log(FormatText("MAILRICH Unknown session %lX", static_cast<unsigned long>(handle)));
        return kMailFailed;
    }
    IMAPISession *session = entry->session;

    // Declared first so that it is released last, on every path.
    ComPtr<IMsgStore> store;
    HRESULT result;
    {
        ComPtr<IMAPITable> storesTable;
        result = session->GetMsgStoresTable(0, storesTable.Put());
        if (FAILED(result))
            return Failed("MAILRICH GetMsgStoresTable error %lX", result);

        SPropValue isTrue = {};
        isTrue.ulPropTag = kTagDefaultStore;
        isTrue.Value.b = TRUE;
        SRestriction parts[2] = {};
        parts[0].rt = RES_EXIST;
        parts[0].res.resExist.ulPropTag = kTagDefaultStore;
        parts[1].rt = RES_PROPERTY;
        parts[1].res.resProperty.relop = RELOP_EQ;
        parts[1].res.resProperty.ulPropTag = kTagDefaultStore;
        parts[1].res.resProperty.lpProp = &isTrue;
        SRestriction defaultStore = {};
        defaultStore.rt = RES_AND;
        defaultStore.res.resAnd.cRes = 2;
        defaultStore.res.resAnd.lpRes = parts;

        // Freed before the table is released on the failure paths below.
        RowSet rows(utilities_.freeRows);
        result = utilities_.queryAllRows(storesTable.Get(), nullptr, &defaultStore, nullptr, 1, rows.Put());
        if (FAILED(result))
            return Failed("MAILRICH MsgStoresTable QueryRows error %lX", result);
        bool entryIdFirst = false;
        SBinary storeId = {};
        if (!rows.OnlyRow(&entryIdFirst, &storeId)) {
            Log("MAILRICH MsgStoresTable has no rows");
            return kMailFailed;
        }
        if (!entryIdFirst) {
            Log("MAILRICH MsgStoresTable table columns missing");
            return kMailFailed;
        }
        storesTable.Reset();

        result = session->OpenMsgStore(0, storeId.cb, reinterpret_cast<LPENTRYID>(storeId.lpb), nullptr,
                                       kOpenStoreFlags, store.Put());
        rows.Reset();
        if (FAILED(result))
            return Failed("MAILRICH OpenMsgStore error %lX", result);
    }

    ComPtr<IMessage> message;
    {
        MapiBuffer<SPropValue> outboxId;
        result = utilities_.getOneProp(store.Get(), kTagOutboxEntryId, outboxId.Put());
        if (SUCCEEDED(result) && (outboxId.Get() == nullptr || outboxId->ulPropTag != kTagOutboxEntryId))
            result = MAPI_E_NOT_FOUND;
        if (FAILED(result))
            return Failed("MAILRICH Get Outbox EntryId error %lX", result);

        ComPtr<IUnknown> opened;
        ULONG objectType = 0;
        ComPtr<IMAPIFolder> outbox;
        result = store->OpenEntry(outboxId->Value.bin.cb, reinterpret_cast<LPENTRYID>(outboxId->Value.bin.lpb),
                                  nullptr, MAPI_MODIFY, &objectType, opened.Put());
        if (SUCCEEDED(result))
            result = TakeOpened(&opened, objectType, MAPI_FOLDER, &outbox);
        if (FAILED(result))
            return Failed("MAILRICH Open Outbox EntryId error %lX", result);

        result = outbox->CreateMessage(nullptr, 0, message.Put());
        if (FAILED(result))
            return Failed("MAILRICH CreateMessage error %lX", result);
        // The Outbox folder and its entry identifier go here.
    }

    {
        AddressList recipients;
        {
            ComPtr<IAddrBook> addressBook;
            result = session->OpenAddressBook(0, nullptr, AB_NO_DIALOG, addressBook.Put());
            if (FAILED(result))
                return Failed("MAILRICH OpenAddressBook error %lX", result);
            result = recipients.Build(TextOrEmpty(destination));
            if (SUCCEEDED(result))
                result = addressBook->ResolveName(0, 0, nullptr, recipients.Get());
            if (FAILED(result))
                return Failed("MAILRICH ResolveName Get Outbox EntryId error %lX", result);
        }
        result = message->ModifyRecipients(MODRECIP_ADD, recipients.Get());
        if (FAILED(result))
            return Failed("MAILRICH ModifyRecipients error %lX", result);
    }

    SPropValue text = {};
    text.ulPropTag = kTagSubject;
    text.Value.lpszA = const_cast<char *>(TextOrEmpty(subject));
    result = utilities_.setOneProp(message.Get(), &text);
    if (FAILED(result))
        return Failed("MAILRICH Set Subject error %lX", result);
    text.ulPropTag = kTagBody;
    text.Value.lpszA = const_cast<char *>(TextOrEmpty(body));
    result = utilities_.setOneProp(message.Get(), &text);
    if (FAILED(result))
        return Failed("MAILRICH Set Body error %lX", result);

    result = message->SubmitMessage(0);
    if (FAILED(result))
        return Failed("MAILRICH SubmitMessage error %lX", result);
    message.Reset();

    // Submitted means sent: what happens while flushing is only logged.
    FlushOutboundQueue(session);
    store.Reset();
    return kMailOk;
}

void RichLibrary::FlushOutboundQueue(IMAPISession *session)
{
    ComPtr<IMAPITable> statusTable;
    HRESULT result = session->GetStatusTable(0, statusTable.Put());
    if (FAILED(result)) {
        Failed("MAILRICH GetStatusTable error %lX", result);
        return;
    }

    SizedSPropTagArray(3, columns) = {3, {kTagEntryId, kTagResourceType, kTagResourceFlags}};
    SRestriction outbound = {};
    outbound.rt = RES_BITMASK;
    outbound.res.resBitMask.relBMR = BMR_NEZ;
    outbound.res.resBitMask.ulPropTag = kTagResourceFlags;
    outbound.res.resBitMask.ulMask = kOutboundResourceMask;

    // Declared after the table: freed before it is released.
    RowSet rows(utilities_.freeRows);
    result = utilities_.queryAllRows(statusTable.Get(), reinterpret_cast<LPSPropTagArray>(&columns), &outbound,
                                     nullptr, 1, rows.Put());
    if (FAILED(result)) {
        Failed("MAILRICH StatusTable QueryRow error %lX", result);
        return;
    }
    bool entryIdFirst = false;
    SBinary statusId = {};
    if (!rows.OnlyRow(&entryIdFirst, &statusId)) {
        Log("MAILRICH StatusTable had no rows");
        return;
    }
    if (!entryIdFirst) {
        Log("MAILRICH StatusTable table columns missing");
        return;
    }

    ComPtr<IUnknown> opened;
    ULONG objectType = 0;
    ComPtr<IMAPIStatus> status;
    result = session->OpenEntry(statusId.cb, reinterpret_cast<LPENTRYID>(statusId.lpb), nullptr, MAPI_MODIFY,
                                &objectType, opened.Put());
    if (SUCCEEDED(result))
        result = TakeOpened(&opened, objectType, MAPI_STATUS, &status);
    if (FAILED(result)) {
        Failed("MAILRICH OpenStatusTable error %lX", result);
        return;
    }
    result = status->FlushQueues(0, 0, nullptr, kFlushFlags);
    if (FAILED(result))
        Failed("MAILRICH FlushQueues error %lX", result);
    status.Reset();
}

MailResult RichLibrary::Logoff(MailSession handle)
{
    SessionEntry entry;
    if (!sessions_.Remove(handle, &entry)) {
        Log(FormatText("MAILRICH Unknown session %lX", static_cast<unsigned long>(handle)));
        return kMailFailed;
    }
    entry.session->Logoff(0, 0, 0);
    entry.session->Release();
    if (entry.initialized)
        MAPIUninitialize();
    return kMailOk;
}

} // namespace quillon
