// The filter client against the reference filter service over HTTPS on
// loopback, with certificate verification on.
#include <gtest/gtest.h>

#include "musicfilter/filter_answer.h"
#include "musicfilter/filter_http_client.h"
#include "service/filter_service.h"
#include "tests/support/temp_dir.h"

namespace quenvara::musicfilter {
namespace {

using service::FilterService;

class FilterHttpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(service_.start(error)) << error;
    }
    FilterHttpClient client(bool withCa = true, bool insecure = false) {
        return FilterHttpClient(
            {service_.baseUrl(), withCa ? service_.caFile().string() : "", insecure});
    }

    testing::TempDir dir_;
    FilterService service_{dir_.path()};
};

TEST_F(FilterHttpTest, PostsTheFormAndReadsTheAnswer) {
    const std::string form = "ver=P2P_QUENVARA_1.01&pc_local_ip=&user_id=a%20b&sh=K1&upload=UP";
    EXPECT_EQ(client().post(kKeyQueryPage, form), "100<br>00");
    const auto got = service_.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].page, "/P2P/quenvaraSearch01.jsp");
    EXPECT_EQ(got[0].form, form);
    EXPECT_EQ(got[0].fields.at("user_id"), "a%20b");
}

TEST_F(FilterHttpTest, UnknownCertificateIsRefusedUnlessInsecure) {
    EXPECT_EQ(client(false).post(kKeyQueryPage, "sh=K"), "$ERROR$");
    EXPECT_EQ(client(false, true).post(kKeyQueryPage, "sh=K"), "100<br>00");
}

TEST_F(FilterHttpTest, AnswersAreCutCleanedAndNeverFailForTheirStatus) {
    service_.script(std::string(kKeyQueryPage), "BIG", {{200, std::string(150'000, 'b')}});
    service_.script(std::string(kKeyQueryPage), "NUL", {{200, std::string("000\0<br>02", 10)}});
    service_.script(std::string(kKeyQueryPage), "ERR", {{500, "<html>error page</html>"}});
    service_.script(std::string(kKeyQueryPage), "EMPTY", {{200, ""}});
    auto c = client();
    EXPECT_EQ(c.post(kKeyQueryPage, "sh=BIG").size(), 102'399u);
    EXPECT_EQ(c.post(kKeyQueryPage, "sh=NUL"), "000 <br>02");
    EXPECT_EQ(c.post(kKeyQueryPage, "sh=ERR"), "<html>error page</html>");
    EXPECT_EQ(c.post(kKeyQueryPage, "sh=EMPTY"), "$ERROR$");
}

TEST_F(FilterHttpTest, QueryByKeyOverHttpsRetriesWhileBusy) {
    service_.script(std::string(kKeyQueryPage), "0123456789ABCDEF0123456789ABCDEF",
                    {{200, "950<br>xy"}, {200, "950<br>xy"}, {200, "000<br>02"}});
    auto c = client();
    MusicCheckResult result{};
    const FilterPost post = [&](std::string_view page, const std::string& form) {
        return c.post(page, form);
    };
    KeyQuery q{
        localIpv4Address(), "member", "0123456789ABCDEF0123456789ABCDEF", "MP3", "a.mp3", "DN"};
    EXPECT_EQ(QueryByKey(post, result, q), 0);
    EXPECT_EQ(std::string(result.begin() + 32, result.begin() + 34), "02");
    EXPECT_EQ(service_.received().size(), 3u);
}

TEST(LocalAddress, IsDottedIpv4) {
    const auto a = localIpv4Address();
    EXPECT_EQ(std::count(a.begin(), a.end(), '.'), 3) << a;
}

}  // namespace
}  // namespace quenvara::musicfilter
