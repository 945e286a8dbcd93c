#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "musicfilter/dna_entry.h"
#include "quenvara/music_filter.h"

// The filter service's forms and answers, apart from the HTTP exchange.
namespace quenvara::musicfilter {

inline constexpr std::string_view kErrorAnswer = "$ERROR$";
inline constexpr std::size_t kMaxAnswer = 102'399;
inline constexpr std::size_t kMusicCheckResultSize = music_result::kSize;
using MusicCheckResult = std::array<std::uint8_t, kMusicCheckResultSize>;

// Byte by byte over CP949 text: a double-byte character as two "%XX", the
// form's special characters escaped, every other byte as it is.
std::string FormEncode(std::string_view cp949);

// The answer as the client keeps it: at most 102,399 bytes, NUL bytes
// turned into spaces, white space trimmed at both ends; "$ERROR$" when
// nothing usable is left.
std::string normaliseAnswer(std::string_view body);

// The fields of an answer, separated by "<br>"; field 0 is the code.
std::vector<std::string_view> answerFields(std::string_view answer);

// One post of a form to a page; returns the normalised answer.
using FilterPost = std::function<std::string(std::string_view page, const std::string& form)>;

inline constexpr std::string_view kKeyQueryPage = "/P2P/quenvaraSearch01.jsp";
inline constexpr std::string_view kRegistrationPage = "/P2P/quenvaraSearch02.jsp";

struct KeyQuery {
    std::string localAddress;
    std::string userIdCp949;
    std::string key;
    std::string_view formatText;
    std::string fileNameCp949;
    std::string_view mode;  // "UP" or "DN"
};
std::string keyQueryForm(const KeyQuery& query);

// The excerpt's start second, sent as ss.
inline constexpr int kFingerprintStartSeconds = 60;

// The registration form: the query's fields with the excerpt's start, the
// word count and the bit-rate text, then the 32 pairs, entry 0 first.
std::string registrationForm(const KeyQuery& query, std::string_view bitRateText,
                             const DnaTable& table);

// The key query with its three attempts for "950": 0 for "000", 2 for
// "$ERROR$" or "901", 1 otherwise. Writes the status (and, in mode "DN"
// after "000", the three texts) into `result`.
int QueryByKey(const FilterPost& post, MusicCheckResult& result, const KeyQuery& query);

// The registration with its three attempts for "950"; false only for "$ERROR$".
bool RegisterDna(const FilterPost& post, const std::string& form);

}  // namespace quenvara::musicfilter
