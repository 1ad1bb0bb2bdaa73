#include "schedule/component/tasqedule_ui.h"

#include <oleauto.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/task_properties.h"
#include "common/win_datetime.h"
#include "schedule/evaluation.h"
#include "schedule/log_trace_sink.h"
#include "schedule/registry_retry_queue.h"
#include "schedule/task_store.h"

namespace quillon::tasqui {

TasqeduleUI::TasqeduleUI(IUnknown *outer) : ComponentObject<ITasqeduleUIDispatchSlots>(outer, IID_ITasqeduleUI) {}

TasqeduleUI::~TasqeduleUI()
{
    ReleaseTaskList();
    if (typeInfo_ != nullptr)
        typeInfo_->Release();
}

void TasqeduleUI::ReleaseTaskList()
{
    std::vector<AppTaskData *> old;
    old.swap(tasks_);
    for (AppTaskData *task : old)
        task->Release();
}

bool TasqeduleUI::ReloadTaskList()
{
    ReleaseTaskList();
    std::vector<TaskRecord> records;
    bool complete = LoadTaskList(&records);
    for (TaskRecord &record : records) {
        if (!AppendTask(std::move(record)))
            return false;
    }
    return complete;
}

std::vector<TaskRecord *> TasqeduleUI::TaskRecords()
{
    std::vector<TaskRecord *> records;
    records.reserve(tasks_.size());
    for (AppTaskData *task : tasks_)
        records.push_back(&task->Record());
    return records;
}

bool TasqeduleUI::AppendTask(TaskRecord record)
{
    AppTaskData *task = AppTaskData::CreateForList(std::move(record));
    if (task == nullptr)
        return false;
    try {
        tasks_.push_back(task);
    } catch (...) {
        task->Release();
        return false;
    }
    return true;
}

TaskRecord *TasqeduleUI::DialogTaskList::At(size_t index)
{
    return index < owner_->tasks_.size() ? &owner_->tasks_[index]->Record() : nullptr;
}

bool TasqeduleUI::DialogTaskList::Save()
{
    return SaveTaskList(owner_->TaskRecords());
}

namespace {

// What the dialogs take from the component's load-time state.
DialogEnvironment ComponentDialogEnvironment()
{
    const ComponentModule &module = Module();
    DialogEnvironment env;
    env.resources = module.resources;
    env.pickerTimeFormat = module.pickerTimeFormat;
    env.helpFilePath = module.helpFilePath;
    env.componentDirectory = module.directory;
    env.maxMessageLength = module.config.maxMessageLength;
    env.clipSubject = module.config.clipSubject;
    env.taskChangedMessage = module.taskChangedMessage;
    return env;
}

} // namespace

HRESULT STDMETHODCALLTYPE TasqeduleUI::SubmitApplication(HWND window, LPSTR description, LPSTR app,
                                                         LPSTR commandLine, LONG needsInternet, ULONG timeoutMs,
                                                         LPSTR keyName)
{
    if (description == nullptr || app == nullptr || commandLine == nullptr)
        return E_INVALIDARG;
    try {
        SubmissionRequest request;
        request.description = description;
        request.app = app;
        request.commandLine = commandLine;
        request.needsInternet = needsInternet;
        request.timeoutMs = timeoutMs;
        return RunSubmission(window, ComponentDialogEnvironment(), request, &remembered_, &dialogList_, keyName);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE TasqeduleUI::EditTasks(HWND window)
{
    try {
        return RunEditTasks(window, ComponentDialogEnvironment(), &dialogList_);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE TasqeduleUI::GetTaskForTime(SYSTEMTIME *st, IUnknown **task, LONG forceReload)
{
    if (task == nullptr)
        return E_POINTER;
    *task = nullptr;
    if (st == nullptr)
        return E_POINTER;
    try {
        if (tasks_.empty() || forceReload != 0)
            ReloadTaskList();   // a partial load still serves the tasks it read
        std::vector<TaskRecord *> records = TaskRecords();
        std::vector<AppTaskData *> objects = tasks_;

        const ComponentConfig &config = Module().config;
        std::unique_ptr<TraceSink> trace;
        if (config.logging)
            trace = std::make_unique<LogFileTraceSink>(config.logPath);
        RegistryRetryQueue queue;
        DateTime when = FromSystemTime(*st);
        size_t due = 0;
        TaskQueryResult result = FindDueTask(records, &when, &queue, trace.get(), &due);
        st->wSecond = when.wSecond;
        st->wMilliseconds = when.wMilliseconds;
        if (result == TaskQueryResult::kDue && due < objects.size())
            *task = static_cast<IAppTaskData *>(objects[due]);   // borrowed: no AddRef
        return static_cast<HRESULT>(ResultCode(result));
    } catch (...) {
        *task = nullptr;
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE TasqeduleUI::RequeueTask(SYSTEMTIME *st, IUnknown *task, ULONG maxRetries, LONG unqueue)
{
    if (task == nullptr || (st == nullptr && unqueue == 0))
        return E_POINTER;
    try {
        ComPtr<IAppTaskData> data;
        if (FAILED(task->QueryInterface(IID_IAppTaskData, data.PutVoid())))
            return E_INVALIDARG;
        LPSTR keyName = nullptr;
        if (data->GetStringProperty(kTaskPropKeyName, &keyName) != S_OK || keyName == nullptr)
            return E_INVALIDARG;
        DateTime retryTime = st != nullptr ? FromSystemTime(*st) : DateTime{};
        RegistryRetryQueue queue;
        RequeueResult result = queue.Requeue(keyName, retryTime, maxRetries, unqueue != 0);
        return result == RequeueResult::kRetriesUsedUp ? E_FAIL : S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT TasqeduleUI::LoadTypeInfo()
{
    if (typeInfo_ != nullptr)
        return S_OK;
    wchar_t path[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, Module().modulePath, -1, path, MAX_PATH) == 0)
        return E_FAIL;
    ITypeLib *typeLib = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &typeLib);
    if (FAILED(hr))
        return hr;
    hr = typeLib->GetTypeInfoOfGuid(IID_ITasqeduleUI, &typeInfo_);
    typeLib->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE TasqeduleUI::GetTypeInfoCount(UINT *count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TasqeduleUI::GetTypeInfo(UINT index, LCID, ITypeInfo **typeInfo)
{
    if (typeInfo == nullptr)
        return E_POINTER;
    *typeInfo = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr))
        return hr;
    typeInfo_->AddRef();
    *typeInfo = typeInfo_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TasqeduleUI::GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID, DISPID *ids)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr))
        return hr;
    return DispGetIDsOfNames(typeInfo_, names, count, ids);
}

HRESULT STDMETHODCALLTYPE TasqeduleUI::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS *params,
                                              VARIANT *result, EXCEPINFO *exception, UINT *argError)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr))
        return hr;
    return DispInvoke(static_cast<ITasqeduleUI *>(this), typeInfo_, id, flags, params, result, exception, argError);
}

HRESULT CreateTasqeduleUI(IUnknown *outer, REFIID riid, void **object)
{
    TasqeduleUI *ui = new (std::nothrow) TasqeduleUI(outer);
    if (ui == nullptr)
        return E_OUTOFMEMORY;
    return HandOut(ui, riid, object);
}

} // namespace quillon::tasqui
