#include "protocol/job_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quenvara {
namespace {

// The expected bytes are laid out by hand from the documented offsets, never
// from the layout constants under test.
class Expected {
  public:
    explicit Expected(std::size_t size) : bytes_(size, 0) {}
    void i32(std::size_t at, std::int32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes_.at(at + i) = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
        }
    }
    void f64(std::size_t at, double v) {
        std::uint64_t raw;
        std::memcpy(&raw, &v, 8);
        for (int i = 0; i < 8; ++i) {
            bytes_.at(at + i) = static_cast<std::uint8_t>(raw >> (8 * i));
        }
    }
    void text(std::size_t at, std::string_view s) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            bytes_.at(at + i) = static_cast<std::uint8_t>(s[i]);
        }
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

template <std::size_t N>
std::vector<std::uint8_t> asVector(std::span<const std::uint8_t, N> s) {
    return {s.begin(), s.end()};
}

void fillBlock(UserValueBlock& b) {
    b.setUserNumber(123456);
    b.setSizeCopy(1536.5);
    ASSERT_TRUE(b.setSectionCode("07"));
    ASSERT_TRUE(b.setSubSectionCode("0701"));
    b.setFolderFlag('N');
    ASSERT_TRUE(b.setContentIdCopy("A1234"));
    ASSERT_TRUE(b.setDisplayText("노래 모음"));
    ASSERT_TRUE(b.setFolderGroupText("grp-9"));
    ASSERT_TRUE(b.setItemNameCopy("song.mp3"));
    ASSERT_TRUE(b.setRegistrantName("퀜바라"));
    ASSERT_TRUE(b.setAdultFlag("N"));
}

void expectBlock(Expected& e, std::size_t base) {
    e.i32(base + 24, 123456);
    e.f64(base + 28, 1536.5);
    e.text(base + 5316, "07");
    e.text(base + 5319, "0701");
    e.text(base + 5345, "N");
    e.text(base + 5347, "A1234");
    e.text(base + 5353, "\xB3\xEB\xB7\xA1 \xB8\xF0\xC0\xBD");  // 노래 모음 in CP949
    e.text(base + 5609, "grp-9");
    e.text(base + 5865, "song.mp3");
    e.text(base + 6143, "\xB3\x90\xB9\xD9\xB6\xF3");  // 퀜바라
    e.text(base + 6172, "N");
}

TEST(JobRecords, UploadRecordMatchesHandWrittenLayout) {
    UploadJobRecord r;
    r.setRecordTag(4);
    r.setItemKind(ItemKind::SingleFile);
    r.setGroupPosition(0);
    r.setResumeState(2);
    r.setDataServerPort(6005);
    r.setUserNumberCopy(77);
    r.setMusicCheckedFlag('Y');
    r.setMusicListFlag('N');
    ASSERT_TRUE(r.setContentId("12345"));
    ASSERT_TRUE(r.setDataServerAddress("10.0.0.1"));
    ASSERT_TRUE(r.setFolderName("앨범"));
    ASSERT_TRUE(r.setItemName("song.mp3"));
    ASSERT_TRUE(r.setParentFolder("/home/me/"));
    ASSERT_TRUE(r.setServerFolderPath("/a/b"));
    ASSERT_TRUE(r.setFileDigest("0123456789abcdef0123456789abcdef"));
    ASSERT_TRUE(r.setContentKey("ABCDEF0123456789ABCDEF0123456789"));
    r.setItemSize(4096.0);
    UserValueBlock b;
    fillBlock(b);
    r.setUserValues(b);

    Expected e(7972);
    e.i32(0, 4);
    e.i32(4, 2);
    e.i32(12, 2);
    e.i32(16, 6005);
    e.i32(20, 77);
    e.text(24, "Y");
    e.text(26, "N");
    e.text(28, "12345");
    e.text(38, "10.0.0.1");
    e.text(54, "\xBE\xD9\xB9\xFC");  // 앨범
    e.text(310, "song.mp3");
    e.text(566, "/home/me/");
    e.text(1078, "/a/b");
    e.text(1590, "0123456789abcdef0123456789abcdef");
    e.text(1628, "ABCDEF0123456789ABCDEF0123456789");
    e.f64(1788, 4096.0);
    expectBlock(e, 1796);

    EXPECT_EQ(asVector(r.bytes()), e.bytes());
    EXPECT_EQ(r.folderName(), "앨범");
    EXPECT_EQ(r.userValues().registrantName(), "퀜바라");
    EXPECT_EQ(r.localPath(), "/home/me/song.mp3");
}

TEST(JobRecords, MyStorageRecordMatchesHandWrittenLayout) {
    MyStorageJobRecord r;
    r.setRecordTag(3);
    r.setItemKind(ItemKind::Folder);
    r.setGroupPosition(2);
    r.setResumeState(1);
    r.setDataServerPort(7001);
    r.setUserNumberCopy(9);
    ASSERT_TRUE(r.setContentId("C0001"));
    ASSERT_TRUE(r.setDataServerAddress("192.168.0.10"));
    ASSERT_TRUE(r.setFolderName("docs"));
    ASSERT_TRUE(r.setItemName("docs"));
    ASSERT_TRUE(r.setParentFolder("/srv/"));
    ASSERT_TRUE(r.setServerFolderPath("docs/x"));
    r.setItemSize(1e9);
    UserValueBlock b;
    fillBlock(b);
    r.setUserValues(b);

    Expected e(7772);
    e.i32(0, 3);
    e.i32(4, 1);
    e.i32(8, 2);
    e.i32(12, 1);
    e.i32(16, 7001);
    e.i32(20, 9);
    e.text(26, "C0001");
    e.text(36, "192.168.0.10");
    e.text(52, "docs");
    e.text(308, "docs");
    e.text(564, "/srv/");
    e.text(1076, "docs/x");
    e.f64(1588, 1e9);
    expectBlock(e, 1596);

    EXPECT_EQ(asVector(r.bytes()), e.bytes());
}

TEST(JobRecords, ATextTooLongIsRefusedWholeNeverCutAndNeverSpills) {
    UploadJobRecord r;
    // 28 characters of registrant fill the 29-byte field with its terminator.
    UserValueBlock b;
    ASSERT_TRUE(b.setRegistrantName(std::string(28, 'r')));
    ASSERT_TRUE(b.setAdultFlag("Y"));
    EXPECT_EQ(b.registrantName(), std::string(28, 'r'));
    EXPECT_EQ(b.bytes()[6143 + 28], 0);
    EXPECT_EQ(b.adultFlag(), "Y");

    // One more, in UTF-8 or as raw bytes: refused with the limit named, and
    // the field and its neighbour keep what they held.
    const auto refused = b.setRegistrantName(std::string(29, 'x'));
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.error().find("최대 28 바이트"), std::string::npos) << refused.error();
    EXPECT_FALSE(b.setRegistrantNameBytes(std::string(29, 'x')));
    EXPECT_EQ(b.registrantName(), std::string(28, 'r'));
    EXPECT_EQ(b.adultFlag(), "Y");

    // Hangul takes two bytes: 10 bytes of content id hold 4 characters and
    // the terminator; a fifth is refused, not cut to four.
    ASSERT_TRUE(r.setContentId("가나다라"));
    EXPECT_FALSE(r.setContentId("가나다라마"));
    EXPECT_EQ(r.contentId(), "가나다라");
    EXPECT_EQ(r.dataServerAddress(), "");
    EXPECT_FALSE(r.setParentFolder("/" + std::string(511, 'p')));
    EXPECT_TRUE(r.setParentFolder("/" + std::string(510, 'p')));

    // Writing a shorter text clears what a longer one left behind.
    ASSERT_TRUE(r.setItemName("abcdef"));
    ASSERT_TRUE(r.setItemName("xy"));
    EXPECT_EQ(r.bytes()[310 + 3], 0);
    EXPECT_EQ(r.bytes()[310 + 4], 0);
}

TEST(JobRecords, TextOutsideCp949IsRefusedAndFieldKept) {
    UploadJobRecord r;
    ASSERT_TRUE(r.setItemName("old.txt"));
    auto st = r.setItemName("emoji-\xF0\x9F\x98\x80.txt");
    EXPECT_FALSE(st);
    EXPECT_NE(st.error().find("CP949"), std::string::npos);
    EXPECT_EQ(r.itemName(), "old.txt");
}

TEST(JobRecords, FromBytesTakesExactSizeOnly) {
    std::vector<std::uint8_t> raw(7972, 0);
    raw[0] = 4;
    auto r = UploadJobRecord::fromBytes(raw);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->recordTag(), 4);
    raw.pop_back();
    EXPECT_FALSE(UploadJobRecord::fromBytes(raw));
    EXPECT_FALSE(MyStorageJobRecord::fromBytes(raw));
}

TEST(JobRecords, UnterminatedTextFromPeerStaysInsideItsField) {
    std::vector<std::uint8_t> raw(7972, 0);
    std::fill(raw.begin() + 28, raw.begin() + 38, 'Z');  // content id without terminator
    std::fill(raw.begin() + 38, raw.begin() + 40, 'Q');
    auto r = UploadJobRecord::fromBytes(raw);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->contentId(), std::string(10, 'Z'));
}

}  // namespace
}  // namespace quenvara
