// libQuenvaraMF.so loaded by file name, as the uploader loads it, against the
// reference filter service over HTTPS with certificate verification on.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include <fstream>
#include <iterator>
#include "common/cp949.h"

#include "musicfilter/content_key.h"
#include "musicfilter/filter_answer.h"
#include "musicfilter/fingerprint.h"
#include "musicfilter/wma_binding.h"
#include "service/filter_service.h"
#include "tests/support/audio_fixture.h"
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

TEST_F(ExportsTest, CharactersCp949CannotExpressBecomeQuestionMarks) {
    // "🎵" and "ÿ" have no CP949 form; the Hangul around them keeps its own.
    const auto path = dir_.write("노\xC3\xBF래🎵.mp3", "abcde");
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(upload_(result.data(), path.c_str(), "회🎵원"), 0);
    const auto forms = service_.received();
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_EQ(forms[0].fields.at("user_id"), "%C8%B8%3F%BF%F8");
    EXPECT_EQ(forms[0].fields.at("filename"), "%B3%EB%3F%B7%A1%3F.mp3");
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

// The forms posted to the registration page.
std::vector<std::string> registrations(const service::FilterService& service) {
    std::vector<std::string> forms;
    for (const auto& r : service.received()) {
        if (r.page == kRegistrationPage) {
            forms.push_back(r.form);
        }
    }
    return forms;
}

std::string fixtureBytes(const std::string& name) {
    const auto bytes = testing::audioFixture(name);
    return std::string(bytes.begin(), bytes.end());
}

// The pairs as the library must send them, computed here from the same file.
std::string expectedPairs(MusicFormat format, const std::string& bytes,
                          const WmaEntryPoints* wma = nullptr) {
    const auto fp = computeFingerprint(
        format, FileBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 60,
        wma);
    EXPECT_EQ(fp.code, 0);
    std::string pairs;
    for (const auto& e : fp.table) {
        pairs += "&dna_index=" + std::to_string(e.dna_index) + "&fdna=" + std::to_string(e.fdna);
    }
    return pairs;
}

TEST_F(ExportsTest, UnknownFileIsFingerprintedAndRegistered) {
    const std::string bytes = fixtureBytes("stereo44k.wav");
    const auto path = dir_.write("곡.wav", bytes);
    const auto key = contentKey(path).key;
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(upload_(result.data(), path.c_str(), "회원"), 0);
    EXPECT_EQ(std::string(result.begin(), result.begin() + 32), key);
    const auto forms = registrations(service_);
    ASSERT_EQ(forms.size(), 1u);
    const std::string head = "&user_id=%C8%B8%BF%F8&ss=60&dna_count=32&bitrate=1411&sh=" + key +
                             "&fake_yn=&file_format=WAV&filename=%B0%EE.wav&upload=UP";
    EXPECT_NE(forms[0].find(head), std::string::npos) << forms[0];
    EXPECT_TRUE(forms[0].starts_with("ver=P2P_QUENVARA_1.01&pc_local_ip="));
    EXPECT_TRUE(forms[0].ends_with(head + expectedPairs(MusicFormat::Wav, bytes))) << forms[0];
}

TEST_F(ExportsTest, RegistrationAnswers) {
    // Busy twice, then any answer: three posts, accepted.
    const auto busy = dir_.write("busy.wav", fixtureBytes("stereo44k.wav"));
    service_.script(std::string(kRegistrationPage), contentKey(busy).key,
                    {{200, "950"}, {200, "950"}, {200, "123"}});
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(upload_(result.data(), busy.c_str(), "u"), 0);
    EXPECT_EQ(registrations(service_).size(), 3u);
    // No usable answer (an empty body) after three attempts: refused.
    const auto failing = dir_.write("failing.ogg", fixtureBytes("nominal160.ogg"));
    service_.script(std::string(kRegistrationPage), contentKey(failing).key, {{200, ""}});
    EXPECT_EQ(upload_(result.data(), failing.c_str(), "u"), 1);
    EXPECT_NE(registrations(service_).back().find("&bitrate=160&"), std::string::npos);
}

TEST_F(ExportsTest, FilesWithoutAnExcerptKeepTheirKeyUnregistered) {
    std::array<std::uint8_t, 548> result{};
    const auto shortMp3 = dir_.write("short.mp3", fixtureBytes("short50.mp3"));
    EXPECT_EQ(upload_(result.data(), shortMp3.c_str(), "u"), 0);
    EXPECT_EQ(std::string(result.begin(), result.begin() + 32), contentKey(shortMp3).key);
    const auto chained = dir_.write("chained.ogg", fixtureBytes("chained.ogg"));
    EXPECT_EQ(upload_(result.data(), chained.c_str(), "u"), 0);
    EXPECT_TRUE(registrations(service_).empty());
}

TEST_F(ExportsTest, Mp3BitRateTextReachesTheService) {
    const std::string bytes = fixtureBytes("vbr192.mp3");
    const auto path = dir_.write("v.mp3", bytes);
    std::array<std::uint8_t, 548> result{};
    EXPECT_EQ(upload_(result.data(), path.c_str(), "u"), 0);
    const auto forms = registrations(service_);
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_NE(forms[0].find("&bitrate=V192&"), std::string::npos);
    EXPECT_TRUE(forms[0].ends_with(expectedPairs(MusicFormat::Mp3, bytes)));
}

TEST_F(ExportsTest, WmaThroughTheDecoderModule) {
    EXPECT_EQ(isWma_(), 0);  // the module sits beside the library
    std::array<std::uint8_t, 548> result{};
    // WMA version 1 cannot be fingerprinted: refused, nothing registered.
    const auto v1 = dir_.write("v1.wma", fixtureBytes("wmav1.wma"));
    EXPECT_EQ(upload_(result.data(), v1.c_str(), "u"), 1);
    EXPECT_TRUE(registrations(service_).empty());
    EXPECT_EQ(isWma_(), 0);  // bound now
    const auto v2 = dir_.write("v2.wma", fixtureBytes("wmav2.wma"));
    EXPECT_EQ(upload_(result.data(), v2.c_str(), "u"), 0);
    const auto forms = registrations(service_);
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_NE(forms[0].find("&bitrate=128&"), std::string::npos);
    EXPECT_NE(forms[0].find("&file_format=WMA&"), std::string::npos);
    WmaBinding module(WMA_MODULE);
    ASSERT_EQ(module.bind(false), 1);
    EXPECT_TRUE(forms[0].ends_with(
        expectedPairs(MusicFormat::Wma, fixtureBytes("wmav2.wma"), module.entryPoints())));
}

}  // namespace
}  // namespace quenvara::musicfilter
