#include "arguments.h"

#include <windows.h>

// The C runtime's own parser of the command line, which its startup runs for
// wmain: CommandLineToArgvW would bring in shell32.dll.
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int wildcards, int* newMode);

std::vector<std::string> typedArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** arguments[2] = {};  // and the environment
    int newMode = 0;              // as the startup passes it
    if (__wgetmainargs(&count, &arguments[0], &arguments[1], 0, &newMode) < 0 || count != argc)
        return {argv, argv + argc};
    std::vector<std::string> typed;
    for (int i = 0; i < count; ++i) {
        std::string text(WideCharToMultiByte(CP_UTF8, 0, arguments[0][i], -1, nullptr, 0, nullptr, nullptr), '\0');
        (void)WideCharToMultiByte(CP_UTF8, 0, arguments[0][i], -1, text.data(), text.size(), nullptr, nullptr);
        typed.emplace_back(text.c_str());  // without the terminating zero
    }
    return typed;
}
