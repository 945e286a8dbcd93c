#include "uploader/app/single_instance.h"

#include <gtest/gtest.h>

#include "platform/launcher.h"
#include "tests/support/temp_dir.h"

namespace quenvara::uploader {
namespace {

bool claimed(const std::filesystem::path& socketPath) {
    auto claim = claimInstance(socketPath);
    EXPECT_TRUE(claim) << claim.error();
    return claim && claim->held();
}

TEST(SingleInstance, OneUploaderPerSocketFolder) {
    testing::TempDir dir;
    const auto mine = dir / "pipes" / "quenvaraupload";
    const auto other = dir / "other-pipes" / "quenvaraupload";
    auto first = claimInstance(mine);
    ASSERT_TRUE(first) << first.error();
    EXPECT_TRUE(first->held());
    EXPECT_FALSE(claimed(mine));
    EXPECT_TRUE(claimed(other));
    // The first uploader ends: the next start is the instance.
    *first = platform::FileLock{};
    EXPECT_TRUE(claimed(mine));
}

TEST(SingleInstance, AProgramTheUploaderStartedDoesNotKeepItsInstance) {
    testing::TempDir dir;
    const auto socket = dir / "pipes" / "quenvaraupload";
    auto first = claimInstance(socket);
    ASSERT_TRUE(first && first->held());
    platform::SpawnLauncher launcher;
    ASSERT_TRUE(launcher.start({"sleep", "2"}).started);
    *first = platform::FileLock{};
    EXPECT_TRUE(claimed(socket));
}

}  // namespace
}  // namespace quenvara::uploader
