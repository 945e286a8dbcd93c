#include "uploader/app/single_instance.h"

#include <gtest/gtest.h>

namespace quenvara::uploader {
namespace {

class FakeProcesses final : public platform::ProcessTable {
  public:
    explicit FakeProcesses(std::vector<std::string> names, bool ok = true)
        : names_(std::move(names)), ok_(ok) {}
    bool snapshot(std::vector<std::string>& out) const override {
        out = names_;
        return ok_;
    }

  private:
    std::vector<std::string> names_;
    bool ok_;
};

TEST(SingleInstance, RunningInstanceCountsItself) {
    EXPECT_TRUE(isOnlyInstance(FakeProcesses({"bash", "QuenvaraUpLoad"}), "QuenvaraUpLoad"));
    EXPECT_FALSE(
        isOnlyInstance(FakeProcesses({"quenvaraupload", "QUENVARAUPLOAD"}), "QuenvaraUpLoad"));
}

TEST(SingleInstance, RenamedProgramIsADifferentProgram) {
    const FakeProcesses running({"QuenvaraUpLoad", "MyUploader"});
    EXPECT_TRUE(isOnlyInstance(running, "MyUploader"));
    EXPECT_FALSE(isOnlyInstance(FakeProcesses({"MyUploader", "myuploader"}), "MyUploader"));
}

TEST(SingleInstance, NoSnapshotLetsTheStartGoOn) {
    EXPECT_TRUE(isOnlyInstance(FakeProcesses({"QuenvaraUpLoad", "QuenvaraUpLoad"}, false),
                               "QuenvaraUpLoad"));
}

TEST(SingleInstance, RealProcessTableSeesThisTest) {
    platform::ProcProcessTable table;
    std::vector<std::string> names;
    ASSERT_TRUE(table.snapshot(names));
    EXPECT_NE(std::find(names.begin(), names.end(), "uploader_tests"), names.end());
}

}  // namespace
}  // namespace quenvara::uploader
