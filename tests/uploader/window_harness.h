#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/manual_event_loop.h"
#include "tests/support/recording_notices.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "uploader/app/upload_main_window.h"

namespace quenvara::uploader::testing_support {

class RecordingNotifier final : public CornerNotifier {
  public:
    void show(std::string_view text, int appearMs, int stayMs, int disappearMs,
              std::string_view autoHide) override {
        std::lock_guard lock(mutex_);
        shown.push_back({std::string(text), appearMs, stayMs, disappearMs, std::string(autoHide)});
    }
    struct Shown {
        std::string text;
        int appearMs, stayMs, disappearMs;
        std::string autoHide;
    };
    std::vector<Shown> shown;

  private:
    std::mutex mutex_;
};

class FakeMusicChecker final : public MusicChecker {
  public:
    std::optional<std::string> CheckMusicFile(const std::string& path,
                                              const std::string& userId) override {
        calls.push_back({path, userId});
        if (onCall) {
            onCall();
        }
        return key;
    }
    std::optional<std::string> key;
    std::function<void()> onCall;
    std::vector<std::pair<std::string, std::string>> calls;
};

class FakeShutdown final : public platform::Shutdown {
  public:
    Outcome powerOff() override {
        ++calls;
        return outcome;
    }
    Outcome outcome;
    int calls = 0;
};

class FakeLauncher final : public platform::Launcher {
  public:
    Outcome run(const std::vector<std::string>& argv) override { return start(argv); }
    Outcome start(const std::vector<std::string>& argv) override {
        started.push_back(argv);
        return {true, 0, 0};
    }
    std::vector<std::vector<std::string>> started;
};

// A transfer thread that runs a scripted body against the window's
// operations, as the real engine would.
class ScriptedThread final : public TransferThread {
  public:
    explicit ScriptedThread(std::function<void()> body) : thread_(std::move(body)) {}
    ~ScriptedThread() override { join(); }
    bool finished() const override { return !thread_.joinable(); }
    void join() override {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    std::thread thread_;
};

// A window on a manual loop in virtual time, with recording fakes all round.
struct WindowHarness {
    WindowHarness()
        : loop(clock),
          settings(dir.path(), "QuenvaraUpLoad"),
          window(WindowServices{loop, clock, notices, notifier, checker, shutdown, launcher,
                                &settings, "https://quenvara.example"}) {
        window.setOnEnd([this] { ended = true; });
        window.initialise(UploadSettings{});
    }

    // Every mode the engine is started in, and a body to run for mode 512.
    void useEngine(std::function<void(EngineOperations&)> body) {
        window.setTransferFactory(
            [this, body](int mode, const std::string&, EngineOperations& ops) {
                modes.push_back(mode);
                std::function<void()> run = [] {};
                if (mode == transfer_mode::kUploadRun && body) {
                    run = [&ops, body] { body(ops); };
                }
                return std::make_unique<ScriptedThread>(run);
            });
    }

    void waitForEngine() {
        if (auto* t = window.session().current()) {
            t->join();
        }
    }

    testing::TempDir dir;
    testing::VirtualClock clock;
    testing::ManualEventLoop loop;
    testing::RecordingNotices notices;
    RecordingNotifier notifier;
    FakeMusicChecker checker;
    FakeShutdown shutdown;
    FakeLauncher launcher;
    SettingsStore settings;
    UploadMainWindow window;
    bool ended = false;
    std::vector<int> modes;
};

}  // namespace quenvara::uploader::testing_support
