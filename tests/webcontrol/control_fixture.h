// A control with scripted dialogs, recorded boxes, a virtual clock and a
// stand-in uploader that a fake launcher "starts": its hand-over server
// receives the messages the control sends.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/cp949.h"
#include "platform/file_dialogs.h"
#include "platform/file_lock.h"
#include "platform/local_pipe.h"
#include "tests/support/recording_notices.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "uploader/handover/overlapped_name_pipe_server.h"
#include "webcontrol/dispatch_table.h"

namespace quenvara::webcontrol {

// What a process snapshot would show; it never decides whether the uploader
// runs.
class FakeProcesses final : public platform::ProcessTable {
  public:
    bool snapshot(std::vector<std::string>& names) const override {
        names = {"bash", "chromium"};
        if (running) {
            names.push_back("QuenvaraUpLoad");
        }
        return true;
    }
    std::atomic<bool> running{false};
};

class ControlFixture {
  public:
    ControlFixture() {
        socketPath =
            dir.path() / "pipes" / ("quenvaraupload" + std::string(platform::executableSuffix()));
        // The hand-over refuses a folder that others can enter.
        std::filesystem::create_directories(socketPath.parent_path());
        std::filesystem::permissions(socketPath.parent_path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    }
    ~ControlFixture() {
        if (server) {
            server->stop();
        }
    }

    struct FakeLauncher final : platform::Launcher {
        explicit FakeLauncher(ControlFixture& f) : fixture(f) {}
        Outcome run(const std::vector<std::string>&) override { return {true, 0, 0}; }
        Outcome start(const std::vector<std::string>& argv) override {
            started.push_back(argv);
            if (uploaderStarts) {
                fixture.startUploader();
            }
            return {true, 0, 0};
        }
        ControlFixture& fixture;
        std::vector<std::vector<std::string>> started;
        bool uploaderStarts = true;
    };

    // As the real uploader: the instance lock beside the socket first.
    void startUploader() {
        auto claim = platform::FileLock::tryLock(platform::instanceLockPath(socketPath));
        EXPECT_TRUE(claim && claim->held()) << claim.error();
        if (claim) {
            instanceLock = std::move(*claim);
        }
        uploader::COverlappedNamePipeServer::Options options;
        options.socketPath = socketPath;
        server = std::make_unique<uploader::COverlappedNamePipeServer>(
            options,
            [this](const handover::ListMessage& m) {
                if (onReceive) {
                    onReceive();
                }
                std::this_thread::sleep_for(deliveryDelay);
                std::lock_guard lock(mutex);
                received.push_back(m);
                return Status{};
            },
            serverNotices, realClock);
        server->start();
        server->waitUntilListening(platform::Millis{5000});
    }

    std::vector<handover::ListMessage> messages() {
        std::lock_guard lock(mutex);
        return received;
    }

    // Answers for the dialogs from now on, in order ("" = cancelled).
    void answer(std::vector<std::string> answers) {
        dialogs = std::make_unique<platform::ScriptedFileDialogs>(std::move(answers));
    }

    // The control keeps one dialogs object; the answers behind it change.
    struct ForwardingDialogs final : platform::FileDialogs {
        explicit ForwardingDialogs(ControlFixture& f) : fixture(f) {}
        std::optional<std::string> browseFolder(std::string_view title) override {
            return fixture.dialogs->browseFolder(title);
        }
        std::optional<std::string> openFile(std::string_view title) override {
            return fixture.dialogs->openFile(title);
        }
        ControlFixture& fixture;
    };

    CQuenvaraUploadControlCtrl& ctrl() {
        if (!control) {
            control = std::make_unique<CQuenvaraUploadControlCtrl>(
                ControlServices{notices, clock, processes, launcher, forwarding, env,
                                dir.path() / "lib"},
                module);
        }
        return *control;
    }

    // A member through the dispatch table, which must accept the call.
    ControlValue call(std::string_view member, std::vector<ControlValue> args = {}) {
        auto result = invoke(ctrl(), member, args);
        EXPECT_TRUE(result) << member << ": " << result.error();
        return result ? *result : ControlValue{};
    }
    std::string text(std::string_view member, std::vector<ControlValue> args = {}) {
        const auto value = call(member, std::move(args));
        const auto* s = std::get_if<std::string>(&value);
        return s != nullptr ? *s : "<not a text>";
    }

    testing::TempDir dir;
    std::filesystem::path socketPath;
    testing::RecordingNotices notices;
    testing::RecordingNotices serverNotices;
    testing::VirtualClock clock;
    platform::SystemClock realClock;
    FakeProcesses processes;
    FakeLauncher launcher{*this};
    std::unique_ptr<platform::ScriptedFileDialogs> dialogs =
        std::make_unique<platform::ScriptedFileDialogs>(std::vector<std::string>{});
    ForwardingDialogs forwarding{*this};
    platform::EnvLookup env = [this](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "QUENVARA_PIPE_DIR") {
            return socketPath.parent_path().string();
        }
        if (std::string_view(name) == "QUENVARA_SYSTEM_DIR") {
            return (dir.path() / "system").string();
        }
        return std::nullopt;
    };
    handover::PipeListWriter writer{notices, clock, [this](std::string_view name) {
                                        return socketPath.parent_path() / std::string(name);
                                    }};
    ControlModule module{writer};
    std::unique_ptr<CQuenvaraUploadControlCtrl> control;
    platform::FileLock instanceLock;
    // How long the stand-in uploader's window takes over each message, and
    // what it does when one arrives (before that time).
    std::chrono::milliseconds deliveryDelay{0};
    std::function<void()> onReceive;
    std::unique_ptr<uploader::COverlappedNamePipeServer> server;
    std::mutex mutex;
    std::vector<handover::ListMessage> received;
};

}  // namespace quenvara::webcontrol
