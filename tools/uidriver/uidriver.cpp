// uidriver: drives a setup program or the uninstaller through its windows,
// for the GUI tests and the demo.  It starts the program, waits for its
// wizard (or the uninstaller's dialog) and message boxes, reads control texts
// and states, clicks buttons, sends keys, chooses system-menu items and takes
// screenshots.  Everything it observes goes to
// standard output as a transcript, one line an event; the last line is always
// "exit N" with the program's exit code.
//
// Usage:  uidriver [--timeout SECONDS] SCRIPT-FILE
//         uidriver [--timeout SECONDS] -e COMMAND [-e COMMAND ...]
// The commands are described in tests/README.md.
//
// Every wait has a time limit.  A wait that runs out prints "timeout: ..."
// and ends the script; the program is then killed and the transcript ends
// with "exit killed".  Message boxes that appear while the driver waits for
// something else are printed and answered with their default button, so an
// unexpected box never blocks a run.
#include <windows.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Control ids of the setup program (resources/resource.h).
constexpr int BackId = 1000;
constexpr int NextId = 1001;
constexpr int CancelId = 1002;
constexpr int PageTitleId = 1013;
constexpr int PageTextId = 1003;   // IDC_TEXT: a page's main text
constexpr int AcceptId = 1009;     // IDC_ACCEPT: the licence box
constexpr int RebootNoId = 1012;   // IDC_REBOOT_NO: "No, I will restart it later"

// The text control of a message box: 0xFFFF on Windows, 100 in wine's template.
constexpr int MessageTextIds[] = {0xFFFF, 100};

constexpr DWORD PollMs = 50;
constexpr UINT SendTimeoutMs = 2000;

DWORD WaitLimitMs = 20000;

struct Program {
    PROCESS_INFORMATION info = {};
    bool started = false;
    bool ended = false;
    DWORD exitCode = 0;
};

Program Target;
bool Aborted = false;   // a wait ran out: the rest of the script is skipped

// --- Transcript ---------------------------------------------------------------

void Emit(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

// Newlines become "\n" so every event stays on one line.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

// --- Windows of the program -------------------------------------------------

std::string ClassOf(HWND window)
{
    char name[128] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    if (window == nullptr)
        return "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs, &length))
        return "";
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, SendTimeoutMs, &copied))
        return "";
    return std::string(buffer.data());
}

struct WindowList {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM data)
{
    WindowList* list = reinterpret_cast<WindowList*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == list->processId && IsWindowVisible(window))
        list->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> ProgramWindows()
{
    WindowList list{Target.info.dwProcessId, {}};
    if (Target.started)
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&list));
    return list.windows;
}

bool IsDialog(HWND window)
{
    return ClassOf(window) == "#32770";
}

HWND MessageTextControl(HWND box)
{
    for (int id : MessageTextIds) {
        HWND text = GetDlgItem(box, id);
        if (text != nullptr && ClassOf(text) == "Static")
            return text;
    }
    return nullptr;
}

bool IsWizard(HWND window)
{
    return IsDialog(window) && GetDlgItem(window, NextId) != nullptr && GetDlgItem(window, CancelId) != nullptr;
}

bool IsMessageBox(HWND window)
{
    return IsDialog(window) && !IsWizard(window) && MessageTextControl(window) != nullptr &&
           FindWindowExA(window, nullptr, "SysTreeView32", nullptr) == nullptr;
}

HWND FindWizard()
{
    for (HWND window : ProgramWindows()) {
        if (IsWizard(window))
            return window;
    }
    return nullptr;
}

HWND FindMessageBox()
{
    for (HWND window : ProgramWindows()) {
        if (IsMessageBox(window))
            return window;
    }
    return nullptr;
}

HWND FindDialog(const std::string& caption)
{
    for (HWND window : ProgramWindows()) {
        if (IsDialog(window) && !IsWizard(window) && !IsMessageBox(window) && TextOf(window) == caption)
            return window;
    }
    return nullptr;
}

// The first page of the wizard (a dialog that is its direct child), the
// first visible one when `visibleOnly` is set; null when there is none.
HWND FindPage(HWND wizard, bool visibleOnly)
{
    for (HWND child = GetWindow(wizard, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsDialog(child) && (!visibleOnly || IsWindowVisible(child)))
            return child;
    }
    return nullptr;
}

HWND CurrentPage(HWND wizard)
{
    return FindPage(wizard, true);
}

// The uninstaller's dialog has no pages: it is ready as soon as it is shown.
bool HasPages(HWND wizard)
{
    return FindPage(wizard, false) != nullptr;
}

// A control of the visible page, else of the frame.
HWND FindControl(HWND wizard, int id)
{
    HWND page = CurrentPage(wizard);
    HWND control = page != nullptr ? GetDlgItem(page, id) : nullptr;
    if (control == nullptr)
        control = GetDlgItem(wizard, id);
    return control;
}

// --- Waiting ------------------------------------------------------------------

bool ProgramEnded()
{
    if (!Target.started)
        return true;
    if (Target.ended)
        return true;
    if (WaitForSingleObject(Target.info.hProcess, 0) == WAIT_OBJECT_0) {
        GetExitCodeProcess(Target.info.hProcess, &Target.exitCode);
        Target.ended = true;
    }
    return Target.ended;
}

// Returns when the program's thread has handled everything sent to it so far
// (it answers a WM_NULL), or when it has no window left to ask.
void Settle(HWND window)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitLimitMs) {
        if (window == nullptr || !IsWindow(window) || ProgramEnded())
            return;
        DWORD_PTR ignored = 0;
        if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 500, &ignored))
            return;
    }
}

HWND FindWizard();

// Presses a button of a box or dialog, then waits until the program has
// finished what the answer started (its wizard answers again).
void PressButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    if (button != nullptr)
        SendNotifyMessageA(button, BM_CLICK, 0, 0);
    else
        SendNotifyMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    Settle(dialog);
    Settle(FindWizard());
}

int DefaultButton(HWND box)
{
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(box, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs, &result) &&
        HIWORD(result) == DC_HASDEFID)
        return LOWORD(result);
    for (int id : {IDOK, IDYES, IDCANCEL, IDNO}) {
        if (GetDlgItem(box, id) != nullptr)
            return id;
    }
    return IDOK;
}

void ReportMessageBox(HWND box)
{
    Emit("message \"%s\": %s", TextOf(box).c_str(), OneLine(TextOf(MessageTextControl(box))).c_str());
}

// Prints a box met on the way and answers it with its default button.
// Answers a message box, which any of its buttons closes.  On a loaded
// machine a click can reach the box before it takes input and be lost; a
// box still open after a while has not taken it, and is clicked again.
void AnswerBox(HWND box, int id)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        PressButton(box, id);
        DWORD start = GetTickCount();
        while (IsWindow(box) && IsWindowVisible(box) && !ProgramEnded() && GetTickCount() - start < 3000)
            Sleep(PollMs);
        if (!IsWindow(box) || !IsWindowVisible(box) || ProgramEnded()) {
            Settle(FindWizard());   // the program has gone on from the answer
            return;
        }
    }
}

void AnswerUnexpected(HWND box)
{
    ReportMessageBox(box);
    AnswerBox(box, DefaultButton(box));
}

void Timeout(const char* what)
{
    Emit("timeout: %s", what);
    Aborted = true;
}

// --- Commands -----------------------------------------------------------------

typedef std::vector<std::string> Arguments;

bool ParseId(const std::string& word, int* id)
{
    static const struct {
        const char* name;
        int id;
    } names[] = {
        {"back", BackId}, {"next", NextId}, {"cancel", CancelId}, {"close", CancelId},
        {"ok", IDOK}, {"yes", IDYES}, {"no", IDNO},
    };
    for (const auto& entry : names) {
        if (_stricmp(word.c_str(), entry.name) == 0) {
            *id = entry.id;
            return true;
        }
    }
    char* end = nullptr;
    long value = strtol(word.c_str(), &end, 0);
    if (word.empty() || *end != '\0')
        return false;
    *id = static_cast<int>(value);
    return true;
}

HWND RequireWizard(const char* command)
{
    HWND wizard = FindWizard();
    if (wizard == nullptr)
        Emit("%s: no wizard", command);
    return wizard;
}

// A program that has ended makes room for the next one: its exit code is
// printed, as at the end of the transcript.  false while it still runs.
bool MakeRoomForProgram(const char* command)
{
    if (!Target.started)
        return true;
    if (!ProgramEnded()) {
        Emit("%s: a program is running already", command);
        return false;
    }
    Emit("exit %lu", Target.exitCode);
    CloseHandle(Target.info.hThread);
    CloseHandle(Target.info.hProcess);
    Target = Program();
    return true;
}

// Starts the program with exactly this command line.
void StartCommandLine(const char* command, const std::string& commandLine, const std::string& program)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &Target.info)) {
        Emit("%s: cannot start %s (error %lu)", command, program.c_str(), GetLastError());
        Aborted = true;
        return;
    }
    Target.started = true;
}

// start PROGRAM [ARGS...]: each word is passed in quotes.
void CommandStart(const Arguments& args)
{
    if (!MakeRoomForProgram("start"))
        return;
    std::string commandLine;
    for (size_t i = 1; i < args.size(); ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += '"' + args[i] + '"';
    }
    StartCommandLine("start", commandLine, args[1]);
}

// The line of the command being run, its %NAME%s expanded: start-line
// passes part of it on as it stands.
std::string CurrentLine;

// What follows the first `words` words of `line` and the blanks after them,
// without the line's end.  Words are split as SplitCommand splits them.
std::string TextAfterWords(const std::string& line, size_t words)
{
    size_t i = 0;
    for (size_t n = 0; n <= words; ++n) {
        while (i < line.size() && isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (n == words)
            break;
        if (i < line.size() && line[i] == '"') {
            i = line.find('"', i + 1);
            i = i == std::string::npos ? line.size() : i + 1;
        } else {
            while (i < line.size() && !isspace(static_cast<unsigned char>(line[i])))
                ++i;
        }
    }
    std::string rest = line.substr(i);
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r'))
        rest.pop_back();
    return rest;
}

// start-line PROGRAM TEXT: starts the program (in quotes) with the rest of
// the script line after one blank, exactly as written: blanks, quotes and
// all, as an administrator types a command line.
void CommandStartLine(const Arguments& args)
{
    if (!MakeRoomForProgram("start-line"))
        return;
    std::string commandLine = '"' + args[1] + '"';
    std::string rest = TextAfterWords(CurrentLine, 2);
    if (!rest.empty())
        commandLine += ' ' + rest;
    StartCommandLine("start-line", commandLine, args[1]);
}

// wizard: wait for the frame, answering boxes met on the way.
void CommandWizard(const Arguments&)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitLimitMs) {
        HWND wizard = FindWizard();
        if (wizard != nullptr && (CurrentPage(wizard) != nullptr || !HasPages(wizard))) {
            SetForegroundWindow(wizard);
            Settle(wizard);
            Emit("wizard \"%s\"", TextOf(wizard).c_str());
            return;
        }
        if (HWND box = FindMessageBox())
            AnswerUnexpected(box);
        else if (ProgramEnded()) {
            Emit("wizard: the program ended");
            return;
        } else
            Sleep(PollMs);
    }
    Timeout("the wizard did not appear");
}

void CommandMessage(const Arguments& args)
{
    int button = 0;
    if (args.size() > 1 && !ParseId(args[1], &button)) {
        Emit("message: unknown button %s", args[1].c_str());
        return;
    }
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitLimitMs) {
        if (HWND box = FindMessageBox()) {
            Settle(box);
            ReportMessageBox(box);
            AnswerBox(box, button != 0 ? button : DefaultButton(box));
            return;
        }
        if (ProgramEnded()) {
            Emit("message: none, the program ended");
            return;
        }
        Sleep(PollMs);
    }
    Timeout("no message box appeared");
}

// no-message: makes sure no box is open right now.
void CommandNoMessage(const Arguments&)
{
    if (HWND box = FindMessageBox()) {
        Emit("unexpected message box:");
        AnswerUnexpected(box);
    }
}

void CommandDialog(const Arguments& args)
{
    if (args.size() < 2) {
        Emit("dialog: caption missing");
        return;
    }
    int button = 0;  // none: only wait for the dialog
    if (args.size() > 2 && !ParseId(args[2], &button)) {
        Emit("dialog: unknown button %s", args[2].c_str());
        return;
    }
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitLimitMs) {
        if (HWND dialog = FindDialog(args[1])) {
            Settle(dialog);
            Emit("dialog \"%s\"", args[1].c_str());
            if (button == 0)
                return;
            SendNotifyMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
            Settle(dialog);
            Settle(FindWizard());
            return;
        }
        if (ProgramEnded()) {
            Emit("dialog: none, the program ended");
            return;
        }
        Sleep(PollMs);
    }
    Timeout("the dialog did not appear");
}

BOOL CALLBACK ListChild(HWND child, LPARAM)
{
    Emit("control %d %s %s \"%s\"", GetDlgCtrlID(child), ClassOf(child).c_str(),
         IsWindowVisible(child) ? "shown" : "hidden", OneLine(TextOf(child)).c_str());
    return TRUE;
}

// controls [CAPTION]: lists the controls of the wizard's visible page and
// frame, or of the program's window with that caption (for writing cases).
void CommandControls(const Arguments& args)
{
    HWND window = nullptr;
    if (args.size() > 1) {
        for (HWND candidate : ProgramWindows()) {
            if (TextOf(candidate) == args[1])
                window = candidate;
        }
    } else {
        window = FindWizard();
    }
    if (window == nullptr) {
        Emit("controls: no such window");
        return;
    }
    EnumChildWindows(window, ListChild, 0);
}

std::string PageTitle(HWND wizard)
{
    HWND page = CurrentPage(wizard);
    return page != nullptr ? TextOf(GetDlgItem(page, PageTitleId)) : "";
}

// wait-page TITLE: waits until the wizard shows the page with this title,
// printing and answering the boxes met on the way (an installation run).
void CommandWaitPage(const Arguments& args)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitLimitMs) {
        HWND wizard = FindWizard();
        if (HWND box = FindMessageBox()) {
            AnswerUnexpected(box);
            continue;
        }
        if (wizard != nullptr && IsWindowEnabled(wizard) && PageTitle(wizard) == args[1]) {
            Settle(wizard);
            Emit("page \"%s\"", args[1].c_str());
            return;
        }
        if (ProgramEnded()) {
            Emit("wait-page: the program ended");
            return;
        }
        Sleep(PollMs);
    }
    Timeout("the page did not appear");
}

void CommandPage(const Arguments&)
{
    HWND wizard = RequireWizard("page");
    if (wizard == nullptr)
        return;
    Emit("page \"%s\"", PageTitle(wizard).c_str());
}

std::string ButtonState(HWND wizard, int id)
{
    HWND button = GetDlgItem(wizard, id);
    if (button == nullptr || !IsWindowVisible(button))
        return "hidden";
    std::string state = IsWindowEnabled(button) ? "enabled" : "disabled";
    return state + " \"" + TextOf(button) + "\"";
}

void CommandButtons(const Arguments&)
{
    HWND wizard = RequireWizard("buttons");
    if (wizard == nullptr)
        return;
    Emit("buttons: back %s, next %s, cancel %s", ButtonState(wizard, BackId).c_str(),
         ButtonState(wizard, NextId).c_str(), ButtonState(wizard, CancelId).c_str());
}

HWND RequireControl(const char* command, const Arguments& args, HWND* wizardOut = nullptr)
{
    int id = 0;
    if (args.size() < 2 || !ParseId(args[1], &id)) {
        Emit("%s: control id missing", command);
        return nullptr;
    }
    HWND wizard = RequireWizard(command);
    if (wizard == nullptr)
        return nullptr;
    if (wizardOut != nullptr)
        *wizardOut = wizard;
    HWND control = FindControl(wizard, id);
    if (control == nullptr)
        Emit("%s %s: no such control", command, args[1].c_str());
    return control;
}

void CommandText(const Arguments& args)
{
    if (HWND control = RequireControl("text", args))
        Emit("text %s: \"%s\"", args[1].c_str(), OneLine(TextOf(control)).c_str());
}

void CommandState(const Arguments& args)
{
    HWND control = RequireControl("state", args);
    if (control == nullptr)
        return;
    std::string state = IsWindowVisible(control) ? "shown" : "hidden";
    state += IsWindowEnabled(control) ? " enabled" : " disabled";
    if (ClassOf(control) == "Button") {
        DWORD_PTR style = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
        if (style == BS_AUTOCHECKBOX || style == BS_CHECKBOX || style == BS_AUTORADIOBUTTON ||
            style == BS_RADIOBUTTON) {
            DWORD_PTR checked = 0;
            SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs, &checked);
            state += checked == BST_CHECKED ? " checked" : " unchecked";
        }
    }
    Emit("state %s: %s \"%s\"", args[1].c_str(), state.c_str(), OneLine(TextOf(control)).c_str());
}

// click: a hidden or disabled control cannot be clicked, as for a user.
void CommandClick(const Arguments& args)
{
    HWND wizard = nullptr;
    HWND control = RequireControl("click", args, &wizard);
    if (control == nullptr)
        return;
    if (!IsWindowVisible(control)) {
        Emit("click %s: hidden", args[1].c_str());
        return;
    }
    if (!IsWindowEnabled(control) || !IsWindowEnabled(wizard)) {
        Emit("click %s: disabled", args[1].c_str());
        return;
    }
    SendNotifyMessageA(control, BM_CLICK, 0, 0);
    Settle(wizard);
}

void CommandSetText(const Arguments& args)
{
    HWND wizard = nullptr;
    HWND control = RequireControl("settext", args, &wizard);
    if (control == nullptr)
        return;
    std::string text = args.size() > 2 ? args[2] : "";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                        SendTimeoutMs, &ignored);
    Settle(wizard);
}

// key: the key goes to the control with the focus, through the program's
// message loop, exactly like a key press.
void CommandKey(const Arguments& args)
{
    static const struct {
        const char* name;
        WORD key;
        BYTE scanCode;
    } keys[] = {{"enter", VK_RETURN, 0x1C}, {"escape", VK_ESCAPE, 0x01}, {"tab", VK_TAB, 0x0F}, {"space", VK_SPACE, 0x39}};
    if (args.size() < 2) {
        Emit("key: name missing");
        return;
    }
    for (const auto& entry : keys) {
        if (_stricmp(args[1].c_str(), entry.name) != 0)
            continue;
        // The key goes to the topmost of the program's windows: a box or
        // dialog in front of the wizard, else the wizard.
        HWND top = FindWizard();
        for (HWND window : ProgramWindows()) {
            if (!IsWizard(window) && IsDialog(window)) {
                top = window;
                break;
            }
        }
        if (top == nullptr) {
            Emit("key: no window");
            return;
        }
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        HWND focus = nullptr;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info))
            focus = info.hwndFocus;
        if (focus == nullptr)
            focus = top;
        LPARAM down = 1 | (static_cast<LPARAM>(entry.scanCode) << 16);
        LPARAM up = down | (1u << 30) | (1u << 31);
        PostMessageA(focus, WM_KEYDOWN, entry.key, down);
        PostMessageA(focus, WM_KEYUP, entry.key, up);
        // Posted input is handled after sent messages: give the loop time.
        Sleep(300);
        Settle(top);
        return;
    }
    Emit("key: unknown key %s", args[1].c_str());
}

void CommandFocus(const Arguments& args)
{
    HWND wizard = FindWizard();
    if (wizard == nullptr) {
        Emit("focus: no wizard");
        return;
    }
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(wizard, nullptr), &info) || info.hwndFocus == nullptr) {
        Emit("focus: none");
        return;
    }
    (void)args;
    Emit("focus: %d %s", GetDlgCtrlID(info.hwndFocus), ClassOf(info.hwndFocus).c_str());
}

void CommandSysMenu(const Arguments& args)
{
    int id = 0;
    if (args.size() < 2 || !ParseId(args[1], &id)) {
        Emit("sysmenu: item id missing");
        return;
    }
    HWND wizard = RequireWizard("sysmenu");
    if (wizard == nullptr)
        return;
    SendNotifyMessageA(wizard, WM_SYSCOMMAND, id, 0);
    Settle(wizard);
}

// Copies a rectangle of `source` into a 24-bit BMP file.  Returns null on
// success, else the step that failed.
const char* WriteBitmap(const std::string& path, HDC source, int left, int top, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    DWORD stride = ((static_cast<DWORD>(width) * 3) + 3) & ~3u;
    DWORD imageSize = stride * static_cast<DWORD>(height);
    info.bmiHeader.biSizeImage = imageSize;

    const char* failed = nullptr;
    void* bits = nullptr;
    HBITMAP picture = nullptr;
    HGDIOBJ previous = nullptr;
    HDC memory = CreateCompatibleDC(source);
    if (memory == nullptr)
        failed = "CreateCompatibleDC";
    if (failed == nullptr) {
        picture = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (picture == nullptr)
            failed = "CreateDIBSection";
    }
    if (failed == nullptr) {
        previous = SelectObject(memory, picture);
        if (!BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY))
            failed = "BitBlt";
        GdiFlush();
    }
    if (failed == nullptr) {
        BITMAPFILEHEADER header = {};
        header.bfType = 0x4D42;  // "BM"
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + imageSize;
        FILE* file = fopen(path.c_str(), "wb");
        if (file == nullptr) {
            failed = "fopen";
        } else {
            bool written = fwrite(&header, sizeof header, 1, file) == 1 &&
                           fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 &&
                           fwrite(bits, imageSize, 1, file) == 1;
            if (fclose(file) != 0 || !written)
                failed = "fwrite";
        }
    }
    if (previous != nullptr)
        SelectObject(memory, previous);
    if (picture != nullptr)
        DeleteObject(picture);
    if (memory != nullptr)
        DeleteDC(memory);
    return failed;
}

// Saves the screen's area of `window` as a 24-bit BMP; prints why it could not.
void SaveScreenshot(const std::string& path, HWND window)
{
    Sleep(300);  // let the X server show the last paint

    // From the screen; where wine cannot read the screen for this process,
    // from the window's own device context.
    RECT area;
    GetWindowRect(window, &area);
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    const char* failed = "GetDC";
    if (HDC screen = GetDC(nullptr)) {
        failed = WriteBitmap(path, screen, area.left, area.top, width, height);
        ReleaseDC(nullptr, screen);
    }
    if (failed != nullptr) {
        if (HDC own = GetWindowDC(window)) {
            failed = WriteBitmap(path, own, 0, 0, width, height);
            ReleaseDC(window, own);
        }
    }
    if (failed != nullptr)
        Emit("screenshot: %s failed for %s (error %lu)", failed, path.c_str(), GetLastError());
}

// screenshot FILE [screen|wizard]: a box in front of the wizard, else the
// wizard (or the whole screen, or the wizard's area whatever covers it) as a
// 24-bit BMP.
void CommandScreenshot(const Arguments& args)
{
    std::string what = args.size() > 2 ? args[2] : "";
    HWND window = nullptr;
    if (_stricmp(what.c_str(), "screen") == 0) {
        window = GetDesktopWindow();
    } else {
        window = _stricmp(what.c_str(), "wizard") == 0 ? nullptr : FindMessageBox();
        if (window == nullptr)
            window = FindWizard();
        if (window == nullptr) {
            Emit("screenshot: no window");
            return;
        }
        Settle(window);
    }
    SaveScreenshot(args[1], window);
}

// The name a walk gives the picture of a page: its title in small letters,
// words joined by '-' (" License Agreement " -> "license-agreement").
std::string PictureName(const std::string& title)
{
    std::string name;
    for (char c : title) {
        if (isalnum(static_cast<unsigned char>(c)))
            name += static_cast<char>(tolower(static_cast<unsigned char>(c)));
        else if (!name.empty() && name.back() != '-')
            name += '-';
    }
    while (!name.empty() && name.back() == '-')
        name.pop_back();
    return name.empty() ? "page" : name;
}

// FOLDER\NN-NAME.bmp, NN counting the pictures of the walk from 01.
std::string PicturePath(const std::string& folder, int number, const std::string& name)
{
    char prefix[16];
    snprintf(prefix, sizeof prefix, "%02d-", number);
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    return path + prefix + name + ".bmp";
}

bool Ticked(HWND button)
{
    DWORD_PTR state = 0;
    SendMessageTimeoutA(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs, &state);
    return state == BST_CHECKED;
}

bool Usable(HWND control)
{
    return control != nullptr && IsWindowVisible(control) && IsWindowEnabled(control);
}

// walk FOLDER: goes through the wizard to its end as a user who takes every
// default: on each page it prints `page "TITLE"`, ticks the licence box where
// it is unticked, keeps the folder the Destination folder page proposes,
// saves a picture of the wizard as the user leaves the page and presses
// Next; on the last page (no Next, Cancel reads "Close") it chooses not to
// restart Windows, prints the page's text, saves its picture and presses
// Close.  A message box on the way is
// printed, saved as a picture too and answered with its default button.
// Pictures are FOLDER\NN-NAME.bmp in their order (NAME from the page's title,
// "message" for a box).  A page that Next does not leave ends the walk with
// `walk: stuck on page "TITLE"`, and the script with it.
void CommandWalk(const Arguments& args)
{
    const std::string folder = args[1];
    int pictures = 0;
    HWND shownPage = nullptr;  // the page printed last
    int presses = 0;           // Next pressed on that page
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitLimitMs) {
        if (HWND box = FindMessageBox()) {
            Settle(box);
            SaveScreenshot(PicturePath(folder, ++pictures, "message"), box);
            AnswerUnexpected(box);
            start = GetTickCount();
            continue;
        }
        if (ProgramEnded()) {
            Emit("walk: the program ended");
            return;
        }
        HWND wizard = FindWizard();
        HWND page = wizard != nullptr ? CurrentPage(wizard) : nullptr;
        if (page == nullptr || !IsWindowEnabled(wizard)) {
            Sleep(PollMs);  // not shown yet, or busy (the installation runs)
            continue;
        }
        Settle(wizard);
        std::string title = PageTitle(wizard);
        if (page != shownPage) {
            SetForegroundWindow(wizard);
            Emit("page \"%s\"", title.c_str());
            shownPage = page;
            presses = 0;
            start = GetTickCount();
        }
        HWND accept = GetDlgItem(page, AcceptId);
        if (Usable(accept) && !Ticked(accept)) {
            SendNotifyMessageA(accept, BM_CLICK, 0, 0);
            Settle(wizard);
            continue;
        }
        HWND next = GetDlgItem(wizard, NextId);
        if (Usable(next)) {
            if (presses == 3) {
                Emit("walk: stuck on page \"%s\"", title.c_str());
                Aborted = true;
                return;
            }
            if (presses++ == 0)
                SaveScreenshot(PicturePath(folder, ++pictures, PictureName(title)), wizard);
            SendNotifyMessageA(next, BM_CLICK, 0, 0);
            Settle(wizard);
            Sleep(PollMs);
            continue;
        }
        HWND close = GetDlgItem(wizard, CancelId);
        if ((next == nullptr || !IsWindowVisible(next)) && Usable(close) && TextOf(close) == "Close") {
            HWND later = GetDlgItem(page, RebootNoId);
            if (Usable(later) && !Ticked(later)) {
                SendNotifyMessageA(later, BM_CLICK, 0, 0);
                Settle(wizard);
            }
            if (HWND text = GetDlgItem(page, PageTextId))
                Emit("text %d: \"%s\"", PageTextId, OneLine(TextOf(text)).c_str());
            SaveScreenshot(PicturePath(folder, ++pictures, PictureName(title)), wizard);
            SendNotifyMessageA(close, BM_CLICK, 0, 0);
            Settle(wizard);
            Emit("walk: %d pictures", pictures);
            return;
        }
        Emit("walk: stuck on page \"%s\"", title.c_str());
        Aborted = true;
        return;
    }
    Timeout("the walk did not reach the last page");
}

void CommandWaitExit(const Arguments&)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitLimitMs) {
        if (ProgramEnded())
            return;
        if (HWND box = FindMessageBox())
            AnswerUnexpected(box);
        else
            WaitForSingleObject(Target.info.hProcess, PollMs);
    }
    Timeout("the program did not end");
}

void CommandFile(const Arguments& args)
{
    if (args.size() < 2) {
        Emit("file: path missing");
        return;
    }
    FILE* file = fopen(args[1].c_str(), "r");
    if (file == nullptr) {
        Emit("file: (none)");
        return;
    }
    char line[1024];
    while (fgets(line, sizeof line, file) != nullptr) {
        size_t length = strlen(line);
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
            line[--length] = '\0';
        Emit("file: %s", line);
    }
    fclose(file);
}

// The TEXT of writefile: "\n", "\r" and "\t" become a line feed, a carriage
// return and a tab, "\\" one backslash, "\xHH" the byte of two hex digits
// (binary files such as install logs); any other backslash stays as it is.
std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\\' && next == 'x' && i + 3 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (c == '\\' && (next == 'n' || next == 'r' || next == 't' || next == '\\')) {
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// writefile PATH TEXT: creates or replaces a file with exactly these bytes.
void CommandWriteFile(const Arguments& args)
{
    std::string bytes = Unescape(args[2]);
    FILE* file = fopen(args[1].c_str(), "wb");
    bool written = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && fclose(file) != 0)
        written = false;
    if (!written)
        Emit("writefile: cannot write %s", args[1].c_str());
}

// makedir PATH: creates the folder and every missing folder above it.
void CommandMakeDir(const Arguments& args)
{
    const std::string& path = args[1];
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\' && path[i] != '/')
            continue;
        std::string part = path.substr(0, i);
        if (part.empty() || part.back() == ':')
            continue;
        CreateDirectoryA(part.c_str(), nullptr);
    }
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        Emit("makedir: cannot create %s", path.c_str());
}

// A key path of the registry commands: below HKEY_LOCAL_MACHINE, or below
// HKEY_CURRENT_USER when it starts with "HKCU\".
HKEY RootOf(const std::string& path, std::string* rest)
{
    if (_strnicmp(path.c_str(), "HKCU\\", 5) == 0) {
        *rest = path.substr(5);
        return HKEY_CURRENT_USER;
    }
    *rest = path;
    return HKEY_LOCAL_MACHINE;
}

// The text value VALUE of KEY (a REG_DWORD as its number); false when there
// is none.
bool ReadRegistryValue(const std::string& keyPath, const std::string& name, std::string* value)
{
    std::string path;
    HKEY root = RootOf(keyPath, &path);
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    bool found = false;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            *value = data;
            found = true;
        } else if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD number = 0;
            memcpy(&number, data, sizeof number);
            *value = std::to_string(number);
            found = true;
        }
    }
    RegCloseKey(key);
    return found;
}

// regvalue KEY VALUE: a text (or REG_DWORD) value below HKEY_LOCAL_MACHINE,
// or HKEY_CURRENT_USER with "HKCU\".
void CommandRegValue(const Arguments& args)
{
    std::string value;
    Emit("regvalue: %s", ReadRegistryValue(args[1], args[2], &value) ? OneLine(value).c_str() : "(none)");
}

// start-registered KEY VALUE: starts the command line that the registry
// holds, exactly as it is, the way Windows starts an uninstall entry's
// UninstallString.
void CommandStartRegistered(const Arguments& args)
{
    if (!MakeRoomForProgram("start-registered"))
        return;
    std::string commandLine;
    if (!ReadRegistryValue(args[1], args[2], &commandLine) || commandLine.empty()) {
        Emit("start-registered: no command line in %s %s", args[1].c_str(), args[2].c_str());
        Aborted = true;
        return;
    }
    Emit("start-registered: %s", OneLine(commandLine).c_str());
    StartCommandLine("start-registered", commandLine, commandLine);
}

// Files the driver holds open without sharing, by path, until released.
struct HeldFile {
    std::string path;
    HANDLE handle;
};
std::vector<HeldFile> HeldFiles;

// hold PATH: opens the file for reading and shares nothing, as a running
// program holds its own file.
void CommandHold(const Arguments& args)
{
    HANDLE file = CreateFileA(args[1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Emit("hold: cannot open %s (error %lu)", args[1].c_str(), GetLastError());
        return;
    }
    HeldFiles.push_back({args[1], file});
}

// release PATH: closes a file that hold opened.
void CommandRelease(const Arguments& args)
{
    for (size_t i = 0; i < HeldFiles.size(); ++i) {
        if (_stricmp(HeldFiles[i].path.c_str(), args[1].c_str()) == 0) {
            CloseHandle(HeldFiles[i].handle);
            HeldFiles.erase(HeldFiles.begin() + static_cast<long>(i));
            return;
        }
    }
    Emit("release: %s is not held", args[1].c_str());
}

// exists PATH: whether a file or folder is there.
void CommandExists(const Arguments& args)
{
    DWORD attributes = GetFileAttributesA(args[1].c_str());
    const char* what = attributes == INVALID_FILE_ATTRIBUTES        ? "none"
                       : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "folder"
                                                                      : "file";
    Emit("exists %s: %s", args[1].c_str(), what);
}

// version PATH: the file version a program's VS_FIXEDFILEINFO carries (the
// first such record in the file), or "none".
void CommandVersion(const Arguments& args)
{
    HANDLE file = CreateFileA(args[1].c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
        CloseHandle(file);
    }
    const char signature[4] = {'\xBD', '\x04', '\xEF', '\xFE'};
    size_t at = bytes.find(std::string(signature, 4));
    if (at == std::string::npos || at + 16 > bytes.size()) {
        Emit("version %s: none", args[1].c_str());
        return;
    }
    auto word = [&](size_t offset) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at + offset;
        return static_cast<unsigned>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24));
    };
    unsigned ms = word(8), ls = word(12);
    Emit("version %s: %u.%u.%u.%u", args[1].c_str(), ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
}

// cd PATH: the current folder of the driver, which the next program started
// inherits.
void CommandCd(const Arguments& args)
{
    if (!SetCurrentDirectoryA(args[1].c_str()))
        Emit("cd: cannot change to %s (error %lu)", args[1].c_str(), GetLastError());
}

// dialog-text CAPTION ID: the text of a control of another dialog of the
// program (a file dialog's name box).
void CommandDialogText(const Arguments& args)
{
    int id = 0;
    if (!ParseId(args[2], &id)) {
        Emit("dialog-text: unknown control %s", args[2].c_str());
        return;
    }
    HWND dialog = FindDialog(args[1]);
    HWND control = dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
    if (control == nullptr) {
        Emit("dialog-text %s: no such control", args[2].c_str());
        return;
    }
    Emit("dialog-text %s: \"%s\"", args[2].c_str(), OneLine(TextOf(control)).c_str());
}

void CommandSleep(const Arguments& args)
{
    Sleep(args.size() > 1 ? static_cast<DWORD>(atoi(args[1].c_str())) : 500);
}

void CommandEcho(const Arguments& args)
{
    std::string text;
    for (size_t i = 1; i < args.size(); ++i)
        text += (i > 1 ? " " : "") + args[i];
    Emit("%s", text.c_str());
}

struct Command {
    const char* name;
    void (*run)(const Arguments&);
    size_t minimumArguments;   // words after the name
    bool needsProgram;         // only after start
};

const Command Commands[] = {
    {"start", CommandStart, 1, false},
    {"start-line", CommandStartLine, 1, false},
    {"wizard", CommandWizard, 0, true},
    {"message", CommandMessage, 0, true},
    {"no-message", CommandNoMessage, 0, true},
    {"dialog", CommandDialog, 1, true},
    {"page", CommandPage, 0, true},
    {"buttons", CommandButtons, 0, true},
    {"text", CommandText, 1, true},
    {"state", CommandState, 1, true},
    {"click", CommandClick, 1, true},
    {"settext", CommandSetText, 1, true},
    {"key", CommandKey, 1, true},
    {"focus", CommandFocus, 0, true},
    {"sysmenu", CommandSysMenu, 1, true},
    {"screenshot", CommandScreenshot, 1, true},
    {"wait-exit", CommandWaitExit, 0, true},
    {"file", CommandFile, 1, false},
    {"writefile", CommandWriteFile, 2, false},
    {"makedir", CommandMakeDir, 1, false},
    {"regvalue", CommandRegValue, 2, false},
    {"start-registered", CommandStartRegistered, 2, false},
    {"hold", CommandHold, 1, false},
    {"release", CommandRelease, 1, false},
    {"exists", CommandExists, 1, false},
    {"version", CommandVersion, 1, false},
    {"cd", CommandCd, 1, false},
    {"dialog-text", CommandDialogText, 2, true},
    {"sleep", CommandSleep, 0, false},
    {"echo", CommandEcho, 0, false},
    {"controls", CommandControls, 0, true},
    {"wait-page", CommandWaitPage, 1, true},
    {"walk", CommandWalk, 1, true},
};

// Words split at blanks; double quotes group words; %NAME% is taken from the
// environment first.
Arguments SplitCommand(const std::string& rawLine)
{
    char expanded[4096];
    DWORD length = ExpandEnvironmentStringsA(rawLine.c_str(), expanded, sizeof expanded);
    std::string line = length > 0 && length <= sizeof expanded ? std::string(expanded) : rawLine;
    CurrentLine = line;

    Arguments words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i >= line.size())
            break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            while (i < line.size() && line[i] != '"')
                word += line[i++];
            ++i;
        } else {
            while (i < line.size() && !isspace(static_cast<unsigned char>(line[i])))
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

void RunCommand(const std::string& line)
{
    size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || line[first] == '#')
        return;
    Arguments args = SplitCommand(line);
    if (args.empty())
        return;
    for (const Command& command : Commands) {
        if (args[0] != command.name)
            continue;
        if (args.size() - 1 < command.minimumArguments) {
            Emit("%s: argument missing", command.name);
            return;
        }
        if (!Target.started && command.needsProgram) {
            Emit("%s: no program started", command.name);
            return;
        }
        command.run(args);
        return;
    }
    Emit("unknown command: %s", args[0].c_str());
}

// The transcript always ends with the program's exit code.
int Finish()
{
    int status = Aborted ? 2 : 0;
    if (Target.started) {
        if (!Aborted) {
            Arguments none;
            CommandWaitExit(none);
        }
        if (ProgramEnded()) {
            Emit("exit %lu", Target.exitCode);
        } else {
            TerminateProcess(Target.info.hProcess, 255);
            WaitForSingleObject(Target.info.hProcess, 5000);
            Emit("exit killed");
            status = 2;
        }
        CloseHandle(Target.info.hThread);
        CloseHandle(Target.info.hProcess);
    }
    return status;
}

int Usage()
{
    fprintf(stderr, "usage: uidriver [--timeout SECONDS] SCRIPT-FILE\n"
                    "       uidriver [--timeout SECONDS] -e COMMAND [-e COMMAND ...]\n");
    return 64;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> lines;
    const char* scriptPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            WaitLimitMs = static_cast<DWORD>(atoi(argv[++i])) * 1000;
        } else if (strcmp(argv[i], "-e") == 0 && i + 1 < argc) {
            lines.push_back(argv[++i]);
        } else if (argv[i][0] != '-' && scriptPath == nullptr) {
            scriptPath = argv[i];
        } else {
            return Usage();
        }
    }
    if (scriptPath != nullptr) {
        FILE* script = fopen(scriptPath, "r");
        if (script == nullptr) {
            fprintf(stderr, "uidriver: cannot open %s\n", scriptPath);
            return 64;
        }
        char line[4096];
        while (fgets(line, sizeof line, script) != nullptr)
            lines.push_back(line);
        fclose(script);
    }
    if (lines.empty())
        return Usage();

    // Join the desktop now: under wine this starts the virtual desktop before
    // the program does, so the screen can be read for screenshots.
    GetDesktopWindow();

    for (const std::string& line : lines) {
        if (Aborted)
            break;
        RunCommand(line);
    }
    return Finish();
}
