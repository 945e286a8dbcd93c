#include "webcontrol/picked_places.h"

#include <algorithm>

#include "platform/path_text.h"
#include "platform/real_path.h"
#include "protocol/record_path.h"

namespace quenvara::webcontrol {

namespace {

// A real path a record can carry as it is: the separator rule reads it as
// the system does (no '\\' in a name here, no doubled separator anywhere).
bool carriable(const std::string& real) {
    std::string generic = real;
    std::replace(generic.begin(), generic.end(),
                 static_cast<char>(std::filesystem::path::preferred_separator), '/');
    return record_path::checkPlain(real) && record_path::normalSeparators(real) == generic;
}

}  // namespace

Result<std::string> PickedPlaces::remember(const std::string& chosen) {
    std::error_code error;
    // The real place of what was picked, which must be there.
    const auto realPath = platform::realPath(platform::utf8Path(chosen), error).make_preferred();
    if (!error && !std::filesystem::exists(realPath, error) && !error) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (error) {
        return Result<std::string>::failure(chosen + ": " + error.message());
    }
    const auto real = platform::utf8Text(realPath);
    if (!carriable(real)) {
        return Result<std::string>::failure(real + ": 이름에 '\\' 가 있어 올릴 수 없습니다.");
    }
    if (std::find(picks_.begin(), picks_.end(), real) == picks_.end()) {
        picks_.push_back(real);
    }
    return real;
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
    const auto realPath = realPlace_(platform::utf8Path(normal), error).make_preferred();
    const std::string real = platform::utf8Text(realPath);
    if (error || !carriable(real) || !holds(real)) {
        return std::nullopt;
    }
    Place place{real, std::filesystem::symlink_status(realPath, error).type()};
    return place;
}

}  // namespace quenvara::webcontrol
