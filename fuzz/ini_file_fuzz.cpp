// Settings files are edited by hand: any bytes must parse, and setting a key
// must keep every other line.
#include <cstdint>
#include <string_view>

#include "common/cp949.h"
#include "common/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto ini = quenvara::IniFile::parse(text);
    (void)ini.get("SetTaskSec", "Value1");
    ini.set("Setting", "AutoEnd", "300");
    auto again = quenvara::IniFile::parse(ini.text());
    if (again.get("Setting", "AutoEnd") != "300") {
        __builtin_trap();
    }
    (void)quenvara::profileInt(text);
    (void)quenvara::cp949::toUtf8(text);
    return 0;
}
