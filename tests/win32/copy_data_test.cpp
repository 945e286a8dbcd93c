// WM_COPYDATA between two threads of one process under Wine: the window is
// found by its caption, gets the kind and the bytes whole, and its answer
// comes back; a missing window and an oversized message are told apart.
#include <gtest/gtest.h>

#include <mutex>

#include "platform/copy_data.h"

namespace quenvara::platform {
namespace {

TEST(CopyData, AWindowFoundByItsCaptionTakesOrRefusesTheMessage) {
    const std::string caption = "퀜바라 파일 올리기 test " +
                                std::to_string(::testing::UnitTest::GetInstance()->random_seed());
    std::mutex mutex;
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> received;
    auto receiver = CopyDataReceiver::open(
        caption, [&](std::uint32_t kind, std::span<const std::uint8_t> data) {
            std::lock_guard lock(mutex);
            received.emplace_back(kind, std::vector<std::uint8_t>(data.begin(), data.end()));
            return kind != 99;
        });
    ASSERT_TRUE(receiver) << receiver.error();

    std::vector<std::uint8_t> frame(70'000);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i % 253);
    }
    auto taken = sendCopyData(caption, 1, frame, Millis{5000});
    ASSERT_TRUE(taken) << taken.error();
    EXPECT_TRUE(*taken);
    auto refused = sendCopyData(caption, 99, {}, Millis{5000});
    ASSERT_TRUE(refused) << refused.error();
    EXPECT_FALSE(*refused);
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(received.size(), 2u);
        EXPECT_EQ(received[0].first, 1u);
        EXPECT_EQ(received[0].second, frame);
        EXPECT_EQ(received[1].first, 99u);
        EXPECT_TRUE(received[1].second.empty());
    }

    EXPECT_FALSE(
        sendCopyData(caption, 1, std::vector<std::uint8_t>(kMaxCopyData + 1), Millis{5000}));
    receiver->reset();
    auto gone = sendCopyData(caption, 1, frame, Millis{1000});
    ASSERT_FALSE(gone);
    EXPECT_NE(gone.error().find("no window captioned"), std::string::npos);
}

}  // namespace
}  // namespace quenvara::platform
