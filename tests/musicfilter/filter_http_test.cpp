// The filter client against the reference filter service over HTTPS on
// loopback, with certificate verification on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "platform/tcp.h"

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
    // The extra headers, and no accept types.
    for (const auto* header :
         {"Accept-Language: ko", "Content-Type: application/x-www-form-urlencoded",
          "Accept-Encoding: gzip, deflate",
          "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)"}) {
        EXPECT_NE(std::find(got[0].headers.begin(), got[0].headers.end(), header),
                  got[0].headers.end())
            << header;
    }
    for (const auto& header : got[0].headers) {
        EXPECT_NE(header.rfind("Accept:", 0), 0u) << header;
    }
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

using namespace std::chrono_literals;

// A plain-HTTP peer on loopback that reads the request and then behaves
// badly: says nothing, or streams a body without end.
class BadService {
  public:
    enum class Mode { Silent, Endless };
    explicit BadService(Mode mode)
        : listener_(std::move(*platform::TcpListener::listen("127.0.0.1", 0))) {
        thread_ = std::thread([this, mode] {
            auto conn = listener_.accept();
            if (!conn) {
                return;
            }
            std::array<std::uint8_t, 1> byte{};
            std::string request;
            while (!request.ends_with("\r\n\r\n") && (*conn)->recvExact(byte) == 1) {
                request += static_cast<char>(byte[0]);
            }
            if (mode == Mode::Silent) {
                while ((*conn)->recvExact(byte) == 1) {
                }
                return;
            }
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n950<br>";
            (*conn)->sendAll({reinterpret_cast<const std::uint8_t*>(head.data()), head.size()});
            const std::vector<std::uint8_t> chunk(4096, 'z');
            while ((*conn)->sendAll(chunk) > 0 && !stop_) {
            }
        });
    }
    ~BadService() {
        stop_ = true;
        listener_.interrupt();
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(listener_.port()); }

  private:
    platform::TcpListener listener_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(FilterHttpLimits, SilentServiceIsNoAnswerAfterTheExchangeLimit) {
    BadService silent(BadService::Mode::Silent);
    FilterHttpClient::Options o;
    o.baseUrl = silent.url();
    o.exchangeTimeout = 500ms;
    auto answer = std::async(std::launch::async,
                             [&] { return FilterHttpClient(o).post(kKeyQueryPage, "sh=K"); });
    ASSERT_EQ(answer.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(answer.get(), "$ERROR$");
}

TEST(FilterHttpLimits, EndlessAnswerIsCutAtTheBufferAndKept) {
    BadService endless(BadService::Mode::Endless);
    FilterHttpClient::Options o;
    o.baseUrl = endless.url();
    auto answer = std::async(std::launch::async,
                             [&] { return FilterHttpClient(o).post(kKeyQueryPage, "sh=K"); });
    ASSERT_EQ(answer.wait_for(30s), std::future_status::ready);
    const auto text = answer.get();
    EXPECT_EQ(text.size(), 102'399u);
    EXPECT_EQ(text.rfind("950<br>zzz", 0), 0u);
}

}  // namespace
}  // namespace quenvara::musicfilter
