#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace quenvara {

// A standard initialization file ("[Section]" lines and "key=value" lines),
// read and written the way the Windows profile functions do: section and key
// names match without regard to case, blanks around names and values are
// dropped, a value in matching quotes loses them. Lines we do not touch
// (comments, other sections) are kept as they were when the file is saved.
class IniFile {
  public:
    static constexpr std::size_t kMaxFileSize = 1 << 20;

    // A missing file is an empty document; an unreadable or oversized one
    // is an error with the reason.
    static Result<IniFile> load(const std::filesystem::path& path);
    static IniFile parse(std::string_view text);

    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    void set(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;
    // Writes through a temporary file and a rename, creating the folder.
    Status save(const std::filesystem::path& path) const;

  private:
    struct Line {
        std::string raw;
        std::string section;  // the section this line belongs to (or opens)
        std::string key;      // empty unless this is a key line
        std::string value;
        bool opensSection = false;
    };

    std::vector<Line> lines_;
};

// Decimal text to integer the way the profile functions read integers:
// leading blanks, an optional sign and digits; anything else gives 0.
int profileInt(std::string_view text);

}  // namespace quenvara
