// A program for the Windows tests to start, block, keep running and retitle:
//   TestClient sleep <seconds> [file]  waits with no window; given a file, it first writes
//                                      its own command line there in UTF-16
//   TestClient window <title>          shows a window until it is closed; each line (UTF-8)
//                                      on its standard input becomes its new title
// It has no console, like the programs Tollgate meets on a desktop.
#include <cwchar>
#include <string>
#include <windows.h>

namespace {

DWORD WINAPI retitleFromInput(void* window)
{
    std::string line;
    char byte = 0;
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr) && read == 1) {
        if (byte != '\n') {
            line += byte;
            continue;
        }
        std::wstring title(line.size() + 1, L'\0');
        title.resize(
            MultiByteToWideChar(CP_UTF8, 0, line.data(), int(line.size()), title.data(), int(title.size())));
        SetWindowTextW(static_cast<HWND>(window), title.c_str());
        line.clear();
    }
    return 0;
}

// A plain window, destroyed by the default answer to a close request.
void showWindow(const wchar_t* title)
{
    HWND window = CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 320, 200,
        nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(window);
    if (HANDLE reader = CreateThread(nullptr, 0, retitleFromInput, window, 0, nullptr))
        CloseHandle(reader);
    MSG message;
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

} // namespace

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::wstring command = arguments && count > 2 ? arguments[1] : L"";
    if (command == L"window")
        showWindow(arguments[2]);
    if (command == L"sleep" && count > 3) {
        const HANDLE file = CreateFileW(
            arguments[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, GetCommandLineW(), DWORD(std::wcslen(GetCommandLineW()) * 2), &written, nullptr);
        CloseHandle(file);
    }
    if (command == L"sleep")
        Sleep(DWORD(std::wcstoul(arguments[2], nullptr, 10)) * 1000);
    LocalFree(arguments);
    return command == L"window" || command == L"sleep" ? 0 : 2;
}
