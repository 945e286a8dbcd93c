#include "protocol/list_message.h"

#include <gtest/gtest.h>

#include <variant>

namespace quenvara::handover {
namespace {

TEST(ListMessage, FrameIsAlwaysFullSizeAndZeroFilled) {
    auto frame =
        encodeFrame(makeServerAddressMessage(ListMessageKind::ServerAddress, "127.0.0.1", 9000));
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->size(), 1'048'584u);
    EXPECT_EQ((*frame)[0], 0);   // kind 0
    EXPECT_EQ((*frame)[4], 20);  // length 20, little-endian
    EXPECT_EQ((*frame)[5], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame->data() + 8)), "127.0.0.1");
    // Port 9000 = 0x2328 at payload offset 16.
    EXPECT_EQ((*frame)[8 + 16], 0x28);
    EXPECT_EQ((*frame)[8 + 17], 0x23);
    EXPECT_TRUE(std::all_of(frame->begin() + 28, frame->end(), [](auto b) { return b == 0; }));
}

TEST(ListMessage, DecodeChecksSizeAndLengthField) {
    auto frame = *encodeFrame(makeUploadJobMessage(UploadJobRecord{}));
    auto back = decodeFrame(frame);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, 4);
    EXPECT_EQ(back->payload.size(), 7972u);

    frame.pop_back();
    EXPECT_FALSE(decodeFrame(frame));
    frame.push_back(0);

    // 1,048,577: one byte more than the payload area holds.
    frame[4] = 0x01;
    frame[5] = 0x00;
    frame[6] = 0x10;
    frame[7] = 0x00;
    auto bad = decodeFrame(frame);
    EXPECT_FALSE(bad);
    EXPECT_NE(bad.error().find("1048577"), std::string::npos);
    // Exactly the payload area is allowed.
    frame[4] = 0x00;
    EXPECT_TRUE(decodeFrame(frame));
}

TEST(ListMessage, OversizedPayloadIsNotEncoded) {
    ListMessage m{13, std::vector<std::uint8_t>(kPayloadCapacity + 1)};
    EXPECT_FALSE(encodeFrame(m));
}

TEST(ListMessage, TwentyBytesAreAnAddressWhateverTheKind) {
    for (int kind : {0, 3, 13, 4, 99}) {
        auto m = makeServerAddressMessage(ListMessageKind::ServerAddress, "10.1.2.3", 7000);
        m.kind = kind;
        auto item = interpret(m);
        ASSERT_TRUE(item) << kind;
        const auto* address = std::get_if<ServerAddress>(&*item);
        ASSERT_NE(address, nullptr) << kind;
        EXPECT_EQ(address->address, "10.1.2.3");
        EXPECT_EQ(address->port, 7000);
    }
}

TEST(ListMessage, LongAddressIsNeitherCutNorSpilledIntoThePort) {
    EXPECT_TRUE(ServerAddressPayload::fits("255.255.255.255"));
    EXPECT_FALSE(ServerAddressPayload::fits("255.255.255.255.1"));
    auto m = makeServerAddressMessage(ListMessageKind::ServerAddress, "255.255.255.255.1", 1234);
    auto item = interpret(m);
    ASSERT_TRUE(item);
    const auto& address = std::get<ServerAddress>(*item);
    EXPECT_EQ(address.address, "");
    EXPECT_EQ(address.port, 1234);
}

TEST(ListMessage, MusicListEntriesAndEmptyList) {
    std::vector<MusicListEntry> entries = {MusicListEntry('Y', 'N', "C:\\music\\a.mp3"),
                                           MusicListEntry('N', 'Y', "b.mp3")};
    auto m = makeMusicListMessage(entries);
    EXPECT_EQ(m.payload.size(), 2u * 516u);
    auto item = interpret(m);
    ASSERT_TRUE(item);
    const auto& list = std::get<MusicList>(*item).entries;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].musicChecked(), 'Y');
    EXPECT_EQ(list[0].secondFlag(), 'N');
    EXPECT_EQ(list[0].baseNameBytes(), "a.mp3");
    EXPECT_EQ(list[1].baseNameBytes(), "b.mp3");

    auto empty = interpret(makeMusicListMessage({}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(std::get<MusicList>(*empty).entries.empty());
}

TEST(ListMessage, RefusesKindsAndLengthsTheProtocolLacks) {
    auto unknown = interpret(ListMessage{7, std::vector<std::uint8_t>(100)});
    EXPECT_FALSE(unknown);
    EXPECT_NE(unknown.error().find("unknown message kind 7"), std::string::npos);

    EXPECT_FALSE(interpret(ListMessage{4, std::vector<std::uint8_t>(7971)}));
    EXPECT_FALSE(interpret(ListMessage{3, std::vector<std::uint8_t>(7972)}));
    EXPECT_FALSE(interpret(ListMessage{13, std::vector<std::uint8_t>(517)}));

    auto myStorage = interpret(ListMessage{3, std::vector<std::uint8_t>(7772)});
    ASSERT_TRUE(myStorage);
    EXPECT_TRUE(std::holds_alternative<MyStorageJobRecord>(*myStorage));
}

TEST(ListMessage, MaximumMusicListFitsOneFrame) {
    std::vector<MusicListEntry> entries(kMaxMusicListEntries, MusicListEntry('Y', 'Y', "x.mp3"));
    auto frame = encodeFrame(makeMusicListMessage(entries));
    ASSERT_TRUE(frame);
    auto back = decodeFrame(*frame);
    ASSERT_TRUE(back);
    auto item = interpret(*back);
    ASSERT_TRUE(item);
    EXPECT_EQ(std::get<MusicList>(*item).entries.size(), 2032u);
}

}  // namespace
}  // namespace quenvara::handover
