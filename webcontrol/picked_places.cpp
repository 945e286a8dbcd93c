#include "webcontrol/picked_places.h"

#include <algorithm>

#include "protocol/record_path.h"

namespace quenvara::webcontrol {

namespace {

// A real path a record can carry as it is: the separator rule reads it
// unchanged (no '\' in any name).
bool carriable(const std::string& real) {
    return record_path::checkPlain(real) && record_path::normalSeparators(real) == real;
}

}  // namespace

Result<std::string> PickedPlaces::remember(const std::string& chosen) {
    std::error_code error;
    const auto real = std::filesystem::canonical(chosen, error);
    if (error) {
        return Result<std::string>::failure(chosen + ": " + error.message());
    }
    if (!carriable(real.string())) {
        return Result<std::string>::failure(real.string() +
                                            ": 이름에 '\\' 가 있어 올릴 수 없습니다.");
    }
    if (std::find(picks_.begin(), picks_.end(), real.string()) == picks_.end()) {
        picks_.push_back(real.string());
    }
    return real.string();
}

bool PickedPlaces::holds(std::string_view recordPath) const {
    if (!record_path::checkPlain(recordPath)) {
        return false;
    }
    return std::any_of(picks_.begin(), picks_.end(), [&](const std::string& pick) {
        return record_path::isInside(recordPath, pick);
    });
}

std::optional<PickedPlaces::Place> PickedPlaces::resolve(std::string_view pageText) const {
    // Lexical first: nothing outside a pick, existing or not, is looked at.
    if (!holds(pageText)) {
        return std::nullopt;
    }
    std::string normal = record_path::normalSeparators(pageText);
    if (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    // Then the real place: a link inside a pick may lead out of it.
    std::error_code error;
    const auto real = realPlace_(normal, error);
    if (error || !carriable(real.string()) || !holds(real.string())) {
        return std::nullopt;
    }
    Place place{real.string(), std::filesystem::symlink_status(real, error).type()};
    return place;
}

}  // namespace quenvara::webcontrol
