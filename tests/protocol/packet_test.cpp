#include "protocol/packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "uploader/transfer/progress_texts.h"
#include "uploader/transfer/upload_session.h"

namespace quenvara::transfer {
namespace {

TEST(Packet, HeaderLayoutAndRegistrantField) {
    auto packet = encodePacket(msg::kLocate, std::vector<std::uint8_t>(28, 7),
                               registrantField("abcdefghijklmnop"));
    ASSERT_EQ(packet.size(), 28u + 28u);
    const std::vector<std::uint8_t> head(packet.begin(), packet.begin() + 28);
    const std::vector<std::uint8_t> expected = {0xE9, 0x03, 0,   0,  // 1001
                                                1,    0,    0,   0,  // count 1
                                                28,   0,    0,   0,  // size 28
                                                0,    0,    0,   0,  // status 0
                                                'a',  'b',  'c', 'd', 'e', 'f', 'g',
                                                'h',  'i',  'j', 'k', 'l'};  // 12 bytes, no NUL
    EXPECT_EQ(head, expected);

    auto shortName = encodePacket(msg::kClose, {}, registrantField("kim"));
    ASSERT_EQ(shortName.size(), 28u);
    EXPECT_EQ(shortName[4], 0);  // header-only: count 0, size 0
    EXPECT_EQ(shortName[16 + 2], 'm');
    EXPECT_EQ(shortName[16 + 3], 0);
}

TEST(Packet, BodyLengthIsBoundedAndHeaderOnlyBelowOne) {
    PacketHeader h;
    h.count = 0;
    h.size = 5;
    EXPECT_EQ(*bodyLength(h), 0u);
    h.count = 1;
    h.size = 7972;
    EXPECT_EQ(*bodyLength(h), 7972u);
    // A product of 0 or less is a header-only packet, not a broken one.
    h.count = -1;
    EXPECT_EQ(*bodyLength(h), 0u);
    h.count = 1;
    h.size = -1;
    EXPECT_EQ(*bodyLength(h), 0u);
    h.count = 2;
    h.size = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(*bodyLength(h), 0u);
    h.count = 65536;
    h.size = 65536;  // overflows 32 bits
    EXPECT_FALSE(bodyLength(h));
    h.count = 1;
    h.size = 64 * 1024 + 1;
    EXPECT_FALSE(bodyLength(h));
    h.count = -2;
    h.size = -3;  // positive product from two negatives is still refused by size
    EXPECT_TRUE(bodyLength(h));
}

TEST(Packet, LocateBodyCutsTextsToFourBytes) {
    LocateValues v;
    v.userNumber = 1234;
    v.sectionCode = "07";
    v.subSectionCode = "ABCDEFG";
    v.adultFlag = "N";
    v.size = 2.5;
    const auto body = encodeLocateBody(v);
    EXPECT_EQ(body[0], 1);
    EXPECT_EQ(body[4], 1234 & 0xFF);
    EXPECT_EQ(std::string(body.begin() + 8, body.begin() + 10), "07");
    EXPECT_EQ(body[10], 0);
    EXPECT_EQ(std::string(body.begin() + 12, body.begin() + 16), "ABCD");  // no terminator
    EXPECT_EQ(body[16], 'N');
    double size;
    std::memcpy(&size, body.data() + 20, 8);
    EXPECT_EQ(size, 2.5);
    const auto my = encodeLocateMyBody(9.0);
    EXPECT_EQ(my[0], 2);
}

TEST(Packet, LocationRoundTripAndShortBodies) {
    Location l{"C0042", "10.0.0.7", 6005, "/folder/sub"};
    auto back = decodeLocation(encodeLocation(l));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->contentId, "C0042");
    EXPECT_EQ(back->dataServerAddress, "10.0.0.7");
    EXPECT_EQ(back->dataServerPort, 6005);
    EXPECT_EQ(back->serverFolderPath, "/folder/sub");
    EXPECT_FALSE(decodeLocation(std::vector<std::uint8_t>(31)));
    // Unterminated texts stay inside their slots.
    std::vector<std::uint8_t> raw(32, 'x');
    auto full = decodeLocation(raw);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->contentId, "xxxxxx");
    EXPECT_EQ(full->dataServerAddress.size(), 22u);
    EXPECT_EQ(full->serverFolderPath, "");
}

TEST(Packet, ResumeOffsetNegativeIsZero) {
    EXPECT_EQ(*decodeResume(encodeResume(-1.0)), 0.0);
    EXPECT_EQ(*decodeResume(encodeResume(4096.0)), 4096.0);
    EXPECT_FALSE(decodeResume(std::vector<std::uint8_t>(7)));
    std::vector<std::uint8_t> longer(20, 0);
    EXPECT_EQ(*decodeResume(longer), 0.0);
}

TEST(Packet, ErrorTextWithoutTerminator) {
    std::vector<std::uint8_t> text(256, 'e');
    EXPECT_EQ(errorText(text).size(), 256u);
    text[3] = 0;
    EXPECT_EQ(errorText(text), "eee");
}

TEST(ProgressTexts, SizeFormAndFormats) {
    EXPECT_EQ(sizeForm(1023), "1023.00 B");
    EXPECT_EQ(sizeForm(1024), "1.00 K");
    EXPECT_EQ(sizeForm(1048576), "1.00 M");
    EXPECT_EQ(sizeForm(1073741824), "1.00 G");
    EXPECT_EQ(fileBarText(512, 2048, true), "512.00 B  / 2.00 K ");
    EXPECT_EQ(fileBarText(512, 2048, false), "512.00 B / 2.00 K ");
    EXPECT_EQ(sizeSummaryText(0, 1024, true, false), "0.00 B / 1.00 K ");
    EXPECT_EQ(sizeSummaryText(0, 1024, true, true), "0.00 B  / 1.00 K ");
    EXPECT_EQ(sizeSummaryText(0, 1024, false, true), "0.00 B / 1.00 K ");
    EXPECT_EQ(rowPercentText(1, 3), "33%");
    EXPECT_EQ(overallPercentText(1, 3), "33.3 %");
    EXPECT_EQ(rowPercentText(0, 0), "100%");  // an empty file is complete
}

TEST(ChunkSize, BySpeedChoiceAndKind) {
    using uploader::chunkSize;
    EXPECT_EQ(chunkSize(false, 0), 32'768u);  // "속도 결정"
    EXPECT_EQ(chunkSize(false, 1), 16'384u);  // "32K 이상"
    EXPECT_EQ(chunkSize(false, 2), 32'768u);  // "16K 이상": not 16 KiB
    EXPECT_EQ(chunkSize(false, 3), 4'096u);
    EXPECT_EQ(chunkSize(false, 4), 1'024u);
    EXPECT_EQ(chunkSize(true, 4), 32'768u);  // my storage: always 32 KiB
}

}  // namespace
}  // namespace quenvara::transfer
