// Answers of the filter service, whatever bytes they hold: normalised,
// split, and written into the caller's result block through the key query.
#include <cstdint>
#include <string>

#include "musicfilter/filter_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenvara::musicfilter;
    const std::string body(reinterpret_cast<const char*>(data), size);
    (void)answerFields(normaliseAnswer(body));
    (void)FormEncode(body);
    MusicCheckResult result{};
    const FilterPost post = [&](std::string_view, const std::string&) {
        return normaliseAnswer(body);
    };
    (void)QueryByKey(post, result, KeyQuery{"", "u", "K", "MP3", "f.mp3", "DN"});
    (void)RegisterDna(post, "form");
    return 0;
}
