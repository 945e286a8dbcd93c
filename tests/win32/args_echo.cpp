// Writes the arguments it was started with, as the C runtime's rules read
// its command line, one per line in UTF-8 into the file named first; exits
// with the number of arguments that followed.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 2) {
        return 255;
    }
    FILE* out = ::_wfopen(argv[1], L"wb");
    if (out == nullptr) {
        return 254;
    }
    for (int i = 2; i < argc; ++i) {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(n), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), n, nullptr, nullptr);
        std::fprintf(out, "%s\n", text.c_str());
    }
    std::fclose(out);
    return argc - 2;
}
