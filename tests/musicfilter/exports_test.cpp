// libQuenvaraMF.so loaded by file name, as the uploader loads it, against the
// reference filter service over HTTPS with certificate verification on.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/cp949.h"
#include "musicfilter/content_key.h"
#include "service/filter_service.h"
#include "tests/support/temp_dir.h"

namespace quenvara::musicfilter {
namespace {

using Check = int (*)(void*, const char*, const char*);
using IsWma = int (*)();
constexpr const char* kKeyPage = "/P2P/quenvaraSearch01.jsp";

class ExportsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(service_.start(error)) << error;
        ::setenv("QUENVARA_FILTER_URL", service_.baseUrl().c_str(), 1);
        ::setenv("QUENVARA_FILTER_CAFILE", service_.caFile().c_str(), 1);
        ::unsetenv("QUENVARA_FILTER_INSECURE");
        handle_ = ::dlopen("libQuenvaraMF.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        upload_ = reinterpret_cast<Check>(::dlsym(handle_, "L_OrvaneMusicUpload"));
        download_ = reinterpret_cast<Check>(::dlsym(handle_, "L_OrvaneMusicDownload"));
        isWma_ = reinterpret_cast<IsWma>(::dlsym(handle_, "L_OrvaneMusicIsWMA"));
        ASSERT_TRUE(upload_ && download_ && isWma_);
    }
    void TearDown() override {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
        }
    }

    testing::TempDir dir_;
    service::FilterService service_{dir_.path() / "tls"};
    void* handle_ = nullptr;
    Check upload_ = nullptr;
    Check download_ = nullptr;
    IsWma isWma_ = nullptr;
};

TEST_F(ExportsTest, UnknownFileGetsItsKeyAndNoRegistration) {
    const auto path = dir_.write("노래.mp3", "abcde");
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(upload_(result.data(), path.c_str(), "회원"), 0);
    const auto key = contentKey(path).key;
    EXPECT_EQ(std::string(result.begin(), result.begin() + 32), key);
    EXPECT_EQ(std::string(result.begin() + 32, result.begin() + 34),
              "00");  // field 1 of "100<br>00"
    const auto forms = service_.received();
    ASSERT_EQ(forms.size(), 1u);  // the key query only: no fingerprint, nothing registered
    EXPECT_EQ(forms[0].fields.at("sh"), key);
    EXPECT_EQ(forms[0].fields.at("upload"), "UP");
    EXPECT_EQ(forms[0].fields.at("file_format"), "MP3");
    // User id and file name travel as CP949, escaped byte by byte.
    EXPECT_EQ(forms[0].fields.at("user_id"), "%C8%B8%BF%F8");
    EXPECT_EQ(forms[0].fields.at("filename"), "%B3%EB%B7%A1.mp3");
}

TEST_F(ExportsTest, KnownRefusedAndUnreadable) {
    const auto known = dir_.write("known.ogg", "known file");
    service_.script(kKeyPage, contentKey(known).key, {{200, "000<br>02"}});
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(upload_(result.data(), known.c_str(), "u"), 0);

    const auto refused = dir_.write("refused.wav", "refused file");
    service_.script(kKeyPage, contentKey(refused).key, {{200, "901"}});
    EXPECT_EQ(upload_(result.data(), refused.c_str(), "u"), 1);

    EXPECT_EQ(upload_(result.data(), (dir_ / "missing.mp3").c_str(), "u"), 2);
    EXPECT_EQ(upload_(nullptr, known.c_str(), "u"), 99);

    std::array<std::uint8_t, 548> untouched;
    untouched.fill(0xAB);
    EXPECT_EQ(upload_(untouched.data(), "/music/track.flac", "u"), 3);
    EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](auto b) { return b == 0xAB; }));
}

TEST_F(ExportsTest, DownloadWritesTheStatus) {
    service_.script(kKeyPage, "0123456789ABCDEF0123456789ABCDEF",
                    {{200, "000<br>03<br>a<br>b<br>c<br>text A<br>text B<br>text C"}});
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(download_(result.data(), "0123456789ABCDEF0123456789ABCDEF", "u"), 0);
    EXPECT_EQ(std::string(result.begin() + 32, result.begin() + 34), "03");
    EXPECT_EQ(std::string(result.begin() + 34, result.begin() + 40), "text A");
    const auto form = service_.received().back();
    EXPECT_EQ(form.fields.at("upload"), "DN");
    EXPECT_EQ(form.fields.at("filename"), "");
    EXPECT_EQ(form.fields.at("file_format"), "");
}

TEST_F(ExportsTest, NoServiceOrNoTrustIsAnError) {
    ::setenv("QUENVARA_FILTER_CAFILE", "", 1);  // the self-signed certificate is not trusted
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(download_(result.data(), "K", "u"), 1);
    const auto path = dir_.write("x.mp3", "x");
    EXPECT_EQ(upload_(result.data(), path.c_str(), "u"), 1);
    EXPECT_TRUE(service_.received().empty());
}

TEST_F(ExportsTest, NoWmaModuleHere) {
    EXPECT_EQ(isWma_(), 1);
}

}  // namespace
}  // namespace quenvara::musicfilter
