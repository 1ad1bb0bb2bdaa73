// The Windows side of the browser capture tests, run under Wine beside the real native
// host: it prepares the product's registry, works the host's dialogs and message boxes
// by control id while the browser waits for the host's reply, reads the stored tasks,
// and runs the page sender on a task and reads what it queued. The browser test (Node)
// starts it once per step and reads its standard output.
//
//   capture_host_driver reset MAXMSGLEN       fresh registry with a complete configuration
//   capture_host_driver clear                 no tasks, no queued mail, no divide answer
//   capture_host_driver drive STEP...         work cliphost.exe's windows, one step after the other:
//        dialog=CAPTION   wait for the host's dialog with this caption; it becomes current
//        box=TEXT         wait for the host's message box whose text holds TEXT
//        text=ID          print "TEXT ID <text>" of the current window's control
//        checked=ID       print "CHECKED ID 0|1" for the current window's check box
//        shot=PATH        save the current window's picture as PATH (a .bmp; for the README)
//        click=ID         click button ID of the current window (posted)
//        close=ID         click it and wait until the window is gone
//   capture_host_driver tasks                 print every task: "TASK<TAB>key<TAB>name=value..."
//   capture_host_driver send KEY              run quillon.exe KEY, print "EXIT code" and the queued mail
// Exit code 0 when everything asked was done; 1 (with a line "FAIL ...") otherwise. Every
// wait ends after 30 seconds.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/registry.h"
#include "tests/support/wine_test_support.h"
#include "tests/support/window_driver.h"

using namespace quillon;

namespace {

constexpr DWORD kWaitMs = 30000;

bool IsHostProcess(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return false;
    char path[MAX_PATH] = {};
    DWORD size = sizeof path;
    const bool ok = QueryFullProcessImageNameA(process, 0, path, &size) != FALSE;
    CloseHandle(process);
    if (!ok)
        return false;
    std::string name(path, size);
    name = name.substr(name.rfind('\\') + 1);
    for (char &c : name)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return name == "cliphost.exe";
}

struct Search {
    std::string caption; // exact caption, or empty
    std::string boxText; // part of a message box's text, or empty
    HWND found = nullptr;
};

BOOL CALLBACK FindHostWindow(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<Search *>(param);
    if (!IsWindowVisible(window))
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!IsHostProcess(processId))
        return TRUE;
    if (!search->caption.empty() && test::WindowText(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    if (!search->boxText.empty() && test::MessageBoxTextOf(window).find(search->boxText) != std::string::npos) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForHostWindow(Search search)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kWaitMs) {
        search.found = nullptr;
        EnumWindows(FindHostWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        Sleep(50);
    }
    return nullptr;
}

// Every visible window of the host, for a failure's report.
BOOL CALLBACK ListHostWindow(HWND window, LPARAM param)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (IsWindowVisible(window) && IsHostProcess(processId))
        *reinterpret_cast<std::string *>(param) +=
            " [" + test::WindowText(window) + " | " + test::MessageBoxTextOf(window) + "]";
    return TRUE;
}

int Fail(const std::string &what)
{
    std::string open;
    EnumWindows(ListHostWindow, reinterpret_cast<LPARAM>(&open));
    std::printf("FAIL %s; host windows:%s\n", what.c_str(), open.empty() ? " none" : open.c_str());
    return 1;
}

// The window as the screen shows it, into a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::string &path)
{
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(400);
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    std::string bytes(reinterpret_cast<const char *>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char *>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char *>(bits), size);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return test::WriteWholeFile(path, bytes);
}

int Drive(const std::vector<std::string> &steps)
{
    HWND current = nullptr;
    for (const std::string &step : steps) {
        const size_t eq = step.find('=');
        if (eq == std::string::npos)
            return Fail("bad step " + step);
        const std::string verb = step.substr(0, eq);
        const std::string value = step.substr(eq + 1);
        if (verb == "dialog" || verb == "box") {
            Search search;
            (verb == "dialog" ? search.caption : search.boxText) = value;
            current = WaitForHostWindow(search);
            if (current == nullptr)
                return Fail("no " + verb + " \"" + value + "\"");
            std::printf("FOUND %s\n", value.c_str());
        } else if (current == nullptr) {
            return Fail(step + " without a window");
        } else if (verb == "text") {
            std::printf("TEXT %s %s\n", value.c_str(), test::ItemText(current, std::stoi(value)).c_str());
        } else if (verb == "shot") {
            if (!SaveWindowPicture(current, value))
                return Fail("no picture " + value);
        } else if (verb == "checked") {
            std::printf("CHECKED %s %d\n", value.c_str(), test::IsChecked(current, std::stoi(value)) ? 1 : 0);
        } else if (verb == "click" || verb == "close") {
            test::PostClick(current, std::stoi(value));
            if (verb == "close" && !test::WaitForWindowGone(current, kWaitMs))
                return Fail("window still open after " + step);
        } else {
            return Fail("unknown step " + step);
        }
        std::fflush(stdout);
    }
    return 0;
}

void DeleteTree(const char *path)
{
    RegistryKey root;
    if (OpenUserKey(kRootKeyPath, &root) == ERROR_SUCCESS)
        root.DeleteSubkeyTree(path);
}

int Clear()
{
    DeleteTree("Tasks");
    DeleteTree("Mail");
    RegistryKey root;
    if (OpenUserKey(kRootKeyPath, &root) == ERROR_SUCCESS)
        root.DeleteValue(root_values::kCaptureDivide);
    return 0;
}

int Reset(const std::string &maxLength)
{
    test::ResetProductRegistry();
    auto rows = test::With(test::CompleteSmtpConfiguration("127.0.0.1"),
                           {test::Text(config_values::kMaxMsgLen, maxLength), test::Text(config_values::kDontSend, "1")});
    if (!test::WriteConfigurationRows(rows))
        return Fail("configuration not written");
    return test::RegisterScheduleComponent() == S_OK ? 0 : Fail("schedule component not registered");
}

std::string Escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out.push_back(c);
    }
    return out;
}

int Tasks()
{
    RegistryKey tasks;
    if (OpenUserKey(kTasksKeyPath, &tasks) != ERROR_SUCCESS)
        return 0;
    std::string name;
    for (DWORD i = 0; tasks.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i) {
        RegistryKey task;
        if (task.Open(tasks.Get(), name.c_str()) != ERROR_SUCCESS)
            continue;
        std::string line = "TASK\t" + Escaped(name);
        for (const char *value : {task_values::kSelection, task_values::kCommandLine, task_values::kAppName,
                                  task_values::kDisplayName}) {
            std::string text;
            if (task.ReadString(value, &text) == ERROR_SUCCESS)
                line += std::string("\t") + value + "=" + Escaped(text);
        }
        DWORD chop = 0;
        if (task.ReadDword(task_values::kChopMessage, &chop) == ERROR_SUCCESS)
            line += "\tChopMessage=" + std::to_string(chop);
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

int Send(const std::string &key)
{
    const test::ProcessResult run = test::RunProcess("\"" + test::BinDir() + "\\quillon.exe\" " + key, 120000);
    std::printf("EXIT %ld\n", run.started ? static_cast<long>(run.exitCode) : -2L);
    RegistryKey mail;
    if (OpenUserKey(kMailKeyPath, &mail) != ERROR_SUCCESS)
        return 0;
    std::string name;
    for (DWORD i = 0; mail.EnumSubkeyName(i, &name) == ERROR_SUCCESS; ++i) {
        RegistryKey message;
        if (message.Open(mail.Get(), name.c_str()) != ERROR_SUCCESS)
            continue;
        std::string subject, body;
        message.ReadString(mail_values::kSubject, &subject);
        message.ReadString(mail_values::kBody, &body);
        std::printf("MAIL\t%s\tSubject=%s\tBody=%s\n", Escaped(name).c_str(), Escaped(subject).c_str(),
                    Escaped(body).c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Fail("no command");
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "reset" && args.size() == 1)
        return Reset(args[0]);
    if (command == "clear")
        return Clear();
    if (command == "drive")
        return Drive(args);
    if (command == "tasks")
        return Tasks();
    if (command == "send" && args.size() == 1)
        return Send(args[0]);
    return Fail("unknown command " + command);
}
