// Binding the WMA decoder module: stand-ins loaded by path, and the real
// module by its plain file name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "musicfilter/wma_binding.h"

#include <atomic>
#include <thread>

namespace quenvara::musicfilter {
namespace {

// Whether the process still holds the library (without loading it).
bool resident(const char* path) {
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    ::dlclose(handle);
    return true;
}

TEST(WmaBinding, ModuleMissingAnEntryPointIsNotBound) {
    for (const char* path : {FAKE_WMA_NO_PLAY_TIME, "libNoSuchWmaModule.so"}) {
        WmaBinding binding(path);
        EXPECT_EQ(binding.bind(false), 0) << path;
        EXPECT_EQ(binding.entryPoints(), nullptr) << path;
        EXPECT_EQ(binding.bind(true), 0) << path;
        EXPECT_FALSE(resident(path)) << path << " was released";
    }
}

TEST(WmaBinding, TestOnlyReleasesAtOnceThenBindingHolds) {
    WmaBinding binding(FAKE_WMA_FULL);
    EXPECT_EQ(binding.bind(true), 1);
    EXPECT_EQ(binding.entryPoints(), nullptr);
    EXPECT_FALSE(resident(FAKE_WMA_FULL));

    EXPECT_EQ(binding.bind(false), 1);
    ASSERT_NE(binding.entryPoints(), nullptr);
    EXPECT_TRUE(resident(FAKE_WMA_FULL));
    EXPECT_EQ(binding.entryPoints()->init(), 1);
    EXPECT_NE(binding.entryPoints()->getTotalPlayTime, nullptr);

    EXPECT_EQ(binding.bind(false), 2);
    EXPECT_EQ(binding.bind(true), 2) << "already bound: nothing done";
    EXPECT_TRUE(resident(FAKE_WMA_FULL));

    binding.unbind();
    EXPECT_EQ(binding.entryPoints(), nullptr);
    EXPECT_FALSE(resident(FAKE_WMA_FULL));
    EXPECT_EQ(binding.bind(false), 1);
}

// The module found by plain file name through the program's library path,
// as the music filter library finds it.
TEST(WmaBinding, RealModuleByFileName) {
    WmaBinding& binding = wmaBinding();
    EXPECT_EQ(binding.bind(false), 1);
    ASSERT_NE(binding.entryPoints(), nullptr);
    EXPECT_EQ(binding.bind(false), 2);
    const std::int32_t h = binding.entryPoints()->init();
    EXPECT_GT(h, 0);
    binding.entryPoints()->release(h);
    binding.unbind();
}

TEST(WmaBindingConcurrency, AvailableWhileAnotherThreadBindsAndUnbinds) {
    WmaBinding binding(FAKE_WMA_FULL);
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (!stop) {
            binding.bind(false);
            binding.unbind();
        }
    });
    int unavailable = 0;
    for (int i = 0; i < 20'000; ++i) {
        if (!binding.available()) {
            ++unavailable;
        }
    }
    stop = true;
    other.join();
    EXPECT_EQ(unavailable, 0);
}

}  // namespace
}  // namespace quenvara::musicfilter
