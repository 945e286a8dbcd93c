#include "common/folder_entries.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

namespace quenvara {

std::vector<std::filesystem::directory_entry> sortedEntries(const std::filesystem::path& folder,
                                                            std::error_code& error) {
    std::vector<std::filesystem::directory_entry> entries;
    error.clear();
    // Advanced by hand: a read error mid-folder is told, not thrown.
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        entries.push_back(*it);
    }
    const auto key = [](const std::filesystem::directory_entry& e) {
        std::string name = e.path().filename().string();
        std::string folded = name;
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return std::pair{std::move(folded), std::move(name)};
    };
    std::sort(entries.begin(), entries.end(),
              [&](const auto& a, const auto& b) { return key(a) < key(b); });
    return entries;
}

}  // namespace quenvara
