// A program for the Windows tests to block, keep running and retitle:
//   TestClient sleep <seconds>      waits, with no window
//   TestClient window <title>       shows a window with the title until it is closed; each
//                                   line (UTF-8) on its standard input becomes its new title
// It has no console, like the programs Tollgate meets on a desktop.
#include <cstdlib>
#include <cwchar>
#include <string>
#include <windows.h>

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

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

int showWindow(const wchar_t* title)
{
    WNDCLASSW windowClass {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TollgateTestClient";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
        100, 320, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    SetForegroundWindow(window);
    if (HANDLE reader = CreateThread(nullptr, 0, retitleFromInput, window, 0, nullptr))
        CloseHandle(reader);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 3)
        return 2;
    int status = 2;
    if (std::wcscmp(arguments[1], L"sleep") == 0) {
        Sleep(DWORD(std::wcstoul(arguments[2], nullptr, 10)) * 1000);
        status = 0;
    } else if (std::wcscmp(arguments[1], L"window") == 0) {
        status = showWindow(arguments[2]);
    }
    LocalFree(arguments);
    return status;
}
