#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace quenvara::webcontrol {

// What the person picked in a control's own dialogs, as real places, and
// whether a path the page gives lies inside one of them. A page's text is
// read lexically first, by the records' separator rule: only a plain,
// absolute text inside a pick reaches the disk, so a refusal tells the page
// nothing of what exists outside.
class PickedPlaces {
  public:
    // A path's real place, links and ".." resolved, as far as it exists.
    using RealPlace =
        std::function<std::filesystem::path(const std::filesystem::path&, std::error_code&)>;

    explicit PickedPlaces(RealPlace realPlace) : realPlace_(std::move(realPlace)) {}

    // Remembers the real place of a dialog's answer and returns it; a place
    // that cannot be resolved, or whose real path a record could not carry,
    // is refused with the reason and not remembered.
    Result<std::string> remember(const std::string& chosen);

    struct Place {
        std::string real;  // the system's separators, no trailing one
        std::filesystem::file_type type = std::filesystem::file_type::not_found;
    };
    // The real place a page's path names: nothing unless the text is plain
    // and inside a pick, and its real place (links resolved) is too.
    std::optional<Place> resolve(std::string_view pageText) const;

    // A path as a record carries it is plain and lies inside a pick, read
    // without a look at the disk (records are built from real places).
    bool holds(std::string_view recordPath) const;

  private:
    RealPlace realPlace_;
    std::vector<std::string> picks_;
};

}  // namespace quenvara::webcontrol
