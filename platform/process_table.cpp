#include "platform/process_table.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace quenvara::platform {
namespace {

std::string executableName(const std::filesystem::path& procDir) {
    std::error_code ec;
    auto target = std::filesystem::read_symlink(procDir / "exe", ec);
    if (!ec) {
        std::string name = target.filename().string();
        constexpr std::string_view kDeleted = " (deleted)";
        if (name.ends_with(kDeleted)) {
            name.resize(name.size() - kDeleted.size());
        }
        return name;
    }
    std::ifstream comm(procDir / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool isPid(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ProcProcessTable::snapshot(std::vector<std::string>& executableNames) const {
    std::error_code ec;
    std::filesystem::directory_iterator it("/proc", ec);
    if (ec) {
        return false;
    }
    executableNames.clear();
    for (const auto& entry : it) {
        const auto name = entry.path().filename().string();
        if (!isPid(name)) {
            continue;
        }
        auto exe = executableName(entry.path());
        if (!exe.empty()) {
            executableNames.push_back(std::move(exe));
        }
    }
    return !executableNames.empty();
}

}  // namespace quenvara::platform
