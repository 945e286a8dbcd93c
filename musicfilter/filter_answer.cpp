#include "musicfilter/filter_answer.h"

#include <algorithm>

#include "common/byte_order.h"

namespace quenvara::musicfilter {
namespace {

constexpr int kAttempts = 3;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void putText(MusicCheckResult& r, std::size_t offset, std::size_t max, std::string_view text,
             std::size_t lengthOffset) {
    const std::size_t n = std::min(text.size(), max);
    std::copy_n(text.begin(), n, r.begin() + static_cast<std::ptrdiff_t>(offset));
    bytes::storeU32(r.data() + lengthOffset, static_cast<std::uint32_t>(n));
}

void putStatus(MusicCheckResult& r, std::string_view field1) {
    const std::size_t n = std::min<std::size_t>(field1.size(), 2);
    std::copy_n(field1.begin(), n, r.begin() + 32);
}

}  // namespace

std::string FormEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto escape = [](std::string& out, unsigned char b) {
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) {
            escape(out, b);
            escape(out, static_cast<unsigned char>(text[++i]));
        } else if (b == ' ') {
            out += "%20";
        } else if (b == '%' || b == '&' || b == '+' || b == '=' || b == '?') {
            escape(out, b);
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string normaliseAnswer(std::string_view body) {
    std::string text(body.substr(0, std::min(body.size(), kMaxAnswer)));
    std::replace(text.begin(), text.end(), '\0', ' ');
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    text = first < last ? std::string(first, last) : std::string{};
    return text.empty() ? std::string(kErrorAnswer) : text;
}

std::vector<std::string_view> answerFields(std::string_view answer) {
    std::vector<std::string_view> fields;
    constexpr std::string_view kSeparator = "<br>";
    for (;;) {
        const auto at = answer.find(kSeparator);
        fields.push_back(answer.substr(0, at));
        if (at == std::string_view::npos) {
            return fields;
        }
        answer.remove_prefix(at + kSeparator.size());
    }
}

std::string keyQueryForm(const KeyQuery& q) {
    return "ver=P2P_QUENVARA_1.01&pc_local_ip=" + q.localAddress +
           "&user_id=" + FormEncode(q.userIdCp949) + "&sh=" + q.key +
           "&file_format=" + std::string(q.formatText) +
           "&filename=" + FormEncode(q.fileNameCp949) + "&upload=" + std::string(q.mode);
}

std::string registrationForm(const KeyQuery& q, std::string_view bitRateText,
                             const DnaTable& table) {
    std::string form =
        "ver=P2P_QUENVARA_1.01&pc_local_ip=" + q.localAddress +
        "&user_id=" + FormEncode(q.userIdCp949) +
        "&ss=" + std::to_string(kFingerprintStartSeconds) +
        "&dna_count=" + std::to_string(table.size()) + "&bitrate=" + std::string(bitRateText) +
        "&sh=" + q.key + "&fake_yn=&file_format=" + std::string(q.formatText) +
        "&filename=" + FormEncode(q.fileNameCp949) + "&upload=" + std::string(q.mode);
    for (const DnaEntry& e : table) {
        // The index unsigned, the word signed: bit 31 makes it negative.
        form += "&dna_index=" + std::to_string(unsigned{e.dna_index}) +
                "&fdna=" + std::to_string(e.fdna);
    }
    return form;
}

int QueryByKey(const FilterPost& post, MusicCheckResult& result, const KeyQuery& query) {
    const std::string form = keyQueryForm(query);
    for (int attempt = 1;; ++attempt) {
        const std::string answer = post(kKeyQueryPage, form);
        if (answer == kErrorAnswer) {
            return 2;
        }
        const auto fields = answerFields(answer);
        const auto field = [&](std::size_t i) {
            return i < fields.size() ? fields[i] : std::string_view{};
        };
        if (field(0) == "000") {
            if (query.mode == "DN") {
                putStatus(result, field(1));
                using namespace music_result;
                putText(result, kText1, kText1Size, field(5), kText1Length);
                putText(result, kText2, kText2Size, field(6), kText2Length);
                putText(result, kText3, kText3Size, field(7), kText3Length);
            }
            return 0;
        }
        if (field(0) == "901") {
            return 2;
        }
        putStatus(result, field(1));
        if (field(0) != "950" || attempt >= kAttempts) {
            return 1;
        }
    }
}

bool RegisterDna(const FilterPost& post, const std::string& form) {
    for (int attempt = 1;; ++attempt) {
        const std::string answer = post(kRegistrationPage, form);
        if (answer == kErrorAnswer) {
            return false;
        }
        if (answerFields(answer)[0] != "950" || attempt >= kAttempts) {
            return true;
        }
    }
}

}  // namespace quenvara::musicfilter
