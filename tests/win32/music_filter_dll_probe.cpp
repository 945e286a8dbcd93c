// Loads QuenvaraMF.dll by its full path, binds the three exports by name
// and calls them as a Windows program of the time would: stdcall, with the
// texts in the ANSI code page. Each call is made from assembly so that the
// stack pointer can be compared before and after: the two checks must
// remove their three 4-byte arguments themselves, the third takes none.
//
//   music_filter_dll_probe.exe DLL FILE USER
//
// Prints "exports", "upload", "download", "is_wma" and "stack" lines for the
// calling script to compare with the Linux build and the service's log.
#include <windows.h>

#include <shellapi.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

struct Call {
    int result;
    bool balanced;
};

// Calls `fn` with `count` (0 or 3) 4-byte arguments pushed right to left,
// and nothing popped by the caller.
Call callStdcall(void* fn, const std::array<const void*, 3>& args, int count) {
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(fn);
    std::uintptr_t before = 0;
    std::uintptr_t after = 0;
    if (count == 3) {
        __asm__ volatile(
            "movl %%esp, %%esi\n\t"
            "pushl 8(%%ebx)\n\t"
            "pushl 4(%%ebx)\n\t"
            "pushl (%%ebx)\n\t"
            "call *%%eax\n\t"
            "movl %%esp, %%edi\n\t"
            "movl %%esi, %%esp\n\t"
            : "+a"(value), "=&S"(before), "=&D"(after)
            : "b"(args.data())
            : "ecx", "edx", "memory", "cc");
    } else {
        __asm__ volatile(
            "movl %%esp, %%esi\n\t"
            "call *%%eax\n\t"
            "movl %%esp, %%edi\n\t"
            "movl %%esi, %%esp\n\t"
            : "+a"(value), "=&S"(before), "=&D"(after)
            :
            : "ebx", "ecx", "edx", "memory", "cc");
    }
    return Call{static_cast<int>(value), before == after};
}

// A command-line text in the ANSI code page; empty with `ok` false when
// the code page cannot write it.
std::string ansi(const wchar_t* text, bool& ok) {
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr,
                                        &usedDefault);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out.data(), n, nullptr,
                          &usedDefault);
    out.resize(out.size() - 1);
    ok = n > 0 && usedDefault == FALSE;
    return out;
}

std::string field(const std::array<unsigned char, 548>& block, std::size_t at, std::size_t size) {
    std::string out;
    for (std::size_t i = at; i < at + size && block[i] != 0; ++i) {
        out += static_cast<char>(block[i]);
    }
    return out;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 4) {
        std::fprintf(stderr, "usage: music_filter_dll_probe DLL FILE USER\n");
        return 64;
    }
    bool fileOk = false;
    bool userOk = false;
    const std::string file = ansi(argv[2], fileOk);
    const std::string user = ansi(argv[3], userOk);
    if (!fileOk || !userOk) {
        std::fprintf(stderr, "probe: the ANSI code page (%u) cannot write the file or the user\n",
                     ::GetACP());
        return 65;
    }
    HMODULE dll = ::LoadLibraryExW(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (dll == nullptr) {
        std::fprintf(stderr, "probe: cannot load the library (error %lu)\n", ::GetLastError());
        return 66;
    }
    void* upload = reinterpret_cast<void*>(::GetProcAddress(dll, "L_OrvaneMusicUpload"));
    void* download = reinterpret_cast<void*>(::GetProcAddress(dll, "L_OrvaneMusicDownload"));
    void* isWma = reinterpret_cast<void*>(::GetProcAddress(dll, "L_OrvaneMusicIsWMA"));
    std::printf("exports %s %s %s\n", upload ? "upload" : "-", download ? "download" : "-",
                isWma ? "is_wma" : "-");
    if (!upload || !download || !isWma) {
        return 1;
    }
    bool balanced = true;
    std::array<unsigned char, 548> block{};
    const Call up = callStdcall(upload, {block.data(), file.c_str(), user.c_str()}, 3);
    balanced = balanced && up.balanced;
    const std::string key = field(block, 0, 32);
    std::printf("upload %d key %s status %s\n", up.result, key.c_str(),
                field(block, 32, 2).c_str());

    std::array<unsigned char, 548> second{};
    const Call down = callStdcall(download, {second.data(), key.c_str(), user.c_str()}, 3);
    balanced = balanced && down.balanced;
    std::printf("download %d status %s\n", down.result, field(second, 32, 2).c_str());

    const Call wma = callStdcall(isWma, {}, 0);
    balanced = balanced && wma.balanced;
    std::printf("is_wma %d\n", wma.result);
    std::printf("stack %s\n", balanced ? "balanced" : "UNBALANCED");
    ::FreeLibrary(dll);
    return balanced ? 0 : 1;
}
