#include "musicfilter/filter_answer.h"

#include <gtest/gtest.h>

#include <deque>

namespace quenvara::musicfilter {
namespace {

TEST(FormEncode, EscapesFormCharactersAndDoubleByteCharacters) {
    EXPECT_EQ(FormEncode("a b&c"), "a%20b%26c");
    EXPECT_EQ(FormEncode("x=1+y?"), "x%3D1%2By%3F");
    EXPECT_EQ(FormEncode("100%"), "100%25");
    EXPECT_EQ(FormEncode("\xB0\xA1"), "%B0%A1");  // 가
    EXPECT_EQ(FormEncode("\xB0"), "\xB0");        // a lone lead byte at the end stays
    EXPECT_EQ(FormEncode("plain-name_1.mp3"), "plain-name_1.mp3");
}

TEST(FilterAnswer, NormalisedTrimmedAndCut) {
    EXPECT_EQ(normaliseAnswer("  950<br>xy\r\n"), "950<br>xy");
    EXPECT_EQ(normaliseAnswer(std::string("000\0<br>", 8)), "000 <br>");
    EXPECT_EQ(normaliseAnswer(""), "$ERROR$");
    EXPECT_EQ(normaliseAnswer(" \n\t "), "$ERROR$");
    EXPECT_EQ(normaliseAnswer(std::string(150'000, 'a')).size(), 102'399u);
}

TEST(FilterAnswer, FieldsBetweenSeparators) {
    EXPECT_EQ(answerFields("000"), (std::vector<std::string_view>{"000"}));
    EXPECT_EQ(answerFields("000<br>02<br>"), (std::vector<std::string_view>{"000", "02", ""}));
    EXPECT_EQ(answerFields("<html>500</html>"),
              (std::vector<std::string_view>{"<html>500</html>"}));
}

// A service that answers from a script, one answer per post.
struct ScriptedService {
    explicit ScriptedService(std::deque<std::string> script) : answers(std::move(script)) {}
    std::deque<std::string> answers;
    std::vector<std::pair<std::string, std::string>> posts;
    FilterPost post() {
        return [this](std::string_view page, const std::string& form) {
            posts.emplace_back(std::string(page), form);
            std::string a = answers.front();
            if (answers.size() > 1) {
                answers.pop_front();
            }
            return normaliseAnswer(a);
        };
    }
};

KeyQuery query(std::string_view mode) {
    return KeyQuery{"10.0.0.2", "a b",          "0123456789ABCDEF0123456789ABCDEF",
                    "MP3",      "\xB0\xA1.mp3", mode};
}

TEST(QueryByKey, KnownKeyInDownloadModeWritesTheStatusTexts) {
    ScriptedService svc(
        {"000<br>02<br>f2<br>f3<br>f4<br>text A<br>text B<br>" + std::string(300, 'c')});
    MusicCheckResult r{};
    EXPECT_EQ(QueryByKey(svc.post(), r, query("DN")), 0);
    EXPECT_EQ(std::string(r.begin() + 32, r.begin() + 34), "02");
    EXPECT_EQ(std::string(r.begin() + 34, r.begin() + 40), "text A");
    EXPECT_EQ(r[536], 6);
    EXPECT_EQ(r[540], 6);
    EXPECT_EQ(r[544], 150);  // cut to its field
    ASSERT_EQ(svc.posts.size(), 1u);
    EXPECT_EQ(svc.posts[0].first, "/P2P/quenvaraSearch01.jsp");
    EXPECT_EQ(svc.posts[0].second,
              "ver=P2P_QUENVARA_1.01&pc_local_ip=10.0.0.2&user_id=a%20b&sh="
              "0123456789ABCDEF0123456789ABCDEF&file_format=MP3&filename=%B0%A1.mp3&upload=DN");
}

TEST(QueryByKey, KnownKeyWithoutFieldsWritesEmptyTexts) {
    ScriptedService svc({"000"});
    MusicCheckResult r{};
    EXPECT_EQ(QueryByKey(svc.post(), r, query("DN")), 0);
    EXPECT_EQ(r[32], 0);
    EXPECT_EQ(r[536] + r[540] + r[544], 0);
}

TEST(QueryByKey, BusyIsAskedThreeTimesInAll) {
    ScriptedService svc({"  950<br>xy\n"});
    MusicCheckResult r{};
    EXPECT_EQ(QueryByKey(svc.post(), r, query("UP")), 1);
    EXPECT_EQ(svc.posts.size(), 3u);
    EXPECT_EQ(std::string(r.begin() + 32, r.begin() + 34), "xy");

    ScriptedService notBusy({"9500<br>zz"});
    EXPECT_EQ(QueryByKey(notBusy.post(), r, query("UP")), 1);
    EXPECT_EQ(notBusy.posts.size(), 1u);

    ScriptedService thenKnown({"950", "000"});
    EXPECT_EQ(QueryByKey(thenKnown.post(), r, query("UP")), 0);
    EXPECT_EQ(thenKnown.posts.size(), 2u);
}

TEST(QueryByKey, RefusalErrorsAndUnknownCodes) {
    MusicCheckResult r{};
    ScriptedService refused({"901<br>no"});
    EXPECT_EQ(QueryByKey(refused.post(), r, query("UP")), 2);
    ScriptedService error({""});
    EXPECT_EQ(QueryByKey(error.post(), r, query("UP")), 2);
    EXPECT_EQ(error.posts.size(), 1u);  // "$ERROR$" is not asked again
    ScriptedService page({"<html><body>500 Internal Server Error</body></html>"});
    EXPECT_EQ(QueryByKey(page.post(), r, query("UP")), 1);
    ScriptedService nul({std::string("123\0<br>ab", 10)});
    MusicCheckResult r2{};
    EXPECT_EQ(QueryByKey(nul.post(), r2, query("UP")), 1);
    EXPECT_EQ(std::string(r2.begin() + 32, r2.begin() + 34), "ab");
}

TEST(RegisterDna, ErrorEndsAtOnceBusyIsRetried) {
    ScriptedService error({""});
    EXPECT_FALSE(RegisterDna(error.post(), "form"));
    EXPECT_EQ(error.posts.size(), 1u);
    ScriptedService busy({"950"});
    EXPECT_TRUE(RegisterDna(busy.post(), "form"));
    EXPECT_EQ(busy.posts.size(), 3u);
    EXPECT_EQ(busy.posts[0].first, "/P2P/quenvaraSearch02.jsp");
}

}  // namespace
}  // namespace quenvara::musicfilter

namespace quenvara::musicfilter {
namespace {

TEST(RegistrationForm, FieldsInOrderThenThe32Pairs) {
    DnaTable table{};
    for (int k = 0; k < kDnaWords; ++k) {
        table[k] = {static_cast<std::uint16_t>(8 * k), k * 1000};
    }
    table[1].fdna = static_cast<std::int32_t>(0x80000001u);  // bit 31: a negative number
    const KeyQuery q{"10.0.0.2", "\xC8\xB8 a", "0123456789ABCDEF0123456789ABCDEF",
                     "MP3",      "a&b.mp3",    "UP"};
    const std::string form = registrationForm(q, "V192", table);
    std::string want =
        "ver=P2P_QUENVARA_1.01&pc_local_ip=10.0.0.2&user_id=%C8%B8%20a&ss=60&dna_count=32"
        "&bitrate=V192&sh=0123456789ABCDEF0123456789ABCDEF&fake_yn=&file_format=MP3"
        "&filename=a%26b.mp3&upload=UP&dna_index=0&fdna=0&dna_index=8&fdna=-2147483647";
    for (int k = 2; k < kDnaWords; ++k) {
        want += "&dna_index=" + std::to_string(8 * k) + "&fdna=" + std::to_string(k * 1000);
    }
    EXPECT_EQ(form, want);
    EXPECT_NE(form.find("&dna_index=248&fdna=31000"), std::string::npos);
    EXPECT_EQ(form.back(), '0');  // no trailing line break
}

}  // namespace
}  // namespace quenvara::musicfilter
