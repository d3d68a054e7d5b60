// A console program for the process tests: sleeps for the seconds its first argument
// names (60 without one) and, given a second argument, first writes its own command line
// there in UTF-16, so that a test sees what it was started with.
// The shell header needs the types of windows.h.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

int main()
{
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    DWORD seconds = 60;
    if (arguments && count > 1) {
        seconds = 0;
        for (const wchar_t* digit = arguments[1]; *digit >= L'0' && *digit <= L'9'; ++digit)
            seconds = seconds * 10 + DWORD(*digit - L'0');
    }
    if (arguments && count > 2) {
        const HANDLE file = ::CreateFileW(
            arguments[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const wchar_t* line = ::GetCommandLineW();
            DWORD written = 0;
            ::WriteFile(file, line, DWORD(::lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
            ::CloseHandle(file);
        }
    }
    ::LocalFree(arguments);
    ::Sleep(seconds * 1000);
    return 0;
}
