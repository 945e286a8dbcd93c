// quenvara-control-host: the browser extension's native messaging host. One
// process per page connection, holding one control; requests arrive on
// standard input, answers leave on standard output.
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "handover_client/pipe_list_writer.h"
#include "platform/clock.h"
#include "platform/launcher.h"
#include "platform/path_text.h"
#include "platform/process_table.h"
#include "platform/system_dirs.h"
#ifdef _WIN32
#include "webcontrol/windows_file_dialogs.h"
#else
#include "webcontrol/host/gtk_file_dialogs.h"
#endif
#include "webcontrol/host/host_loop.h"
#include "webcontrol/host/host_session.h"
#include "webcontrol/host/native_message_reader.h"
#include "webcontrol/host/unlocked_waits.h"

namespace {

#ifdef _WIN32
long readSome(int fd, void* buffer, std::size_t size) {
    return ::_read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 20)));
}
long writeSome(int fd, const char* bytes, std::size_t size) {
    return ::_write(fd, bytes, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 20)));
}
#else
long readSome(int fd, void* buffer, std::size_t size) {
    return static_cast<long>(::read(fd, buffer, size));
}
long writeSome(int fd, const char* bytes, std::size_t size) {
    return static_cast<long>(::write(fd, bytes, size));
}
#endif

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = writeSome(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The browser's frames move to descriptors of their own; standard input
// and output then point at nothing and at the log, so no stray line can
// corrupt a frame. On POSIX the new descriptors are not inherited by a
// started uploader; Windows starts programs without inheriting handles,
// and there the frames must not pass through text-mode newline changes.
bool takeFrameStreams(int& requests, int& answers) {
#ifdef _WIN32
    requests = ::_dup(0);
    answers = ::_dup(1);
    if (requests < 0 || answers < 0 || ::_setmode(requests, _O_BINARY) < 0 ||
        ::_setmode(answers, _O_BINARY) < 0) {
        return false;
    }
    if (const int nothing = ::_open("NUL", _O_RDONLY); nothing >= 0) {
        ::_dup2(nothing, 0);
        ::_close(nothing);
    }
    // A browser may give the host no error stream: then nowhere.
    if (::_dup2(2, 1) != 0) {
        if (const int nothing = ::_open("NUL", _O_WRONLY); nothing >= 0) {
            ::_dup2(nothing, 1);
            ::_close(nothing);
        }
    }
#else
    requests = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    answers = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (requests < 0 || answers < 0) {
        return false;
    }
    if (const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC); nothing >= 0) {
        ::dup2(nothing, STDIN_FILENO);
        ::close(nothing);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
#endif
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quenvara;
    if (argc > 1 && std::string_view(argv[1]) == "--version") {
        std::cout << "quenvara-control-host " << QUENVARA_VERSION << "\n";
        return 0;
    }
    if (argc > 1 && std::string_view(argv[1]) == "--help") {
        std::cout << "quenvara-control-host: started by the browser for a page that uses the "
                     "upload control.\nEnvironment: QUENVARA_DIALOG_ANSWERS=FILE answers the "
                     "selection dialogs, one line each (empty: cancelled).\n";
        return 0;
    }
    int requests = -1;
    int answers = -1;
    if (!takeFrameStreams(requests, answers)) {
        return 1;
    }

    auto env = platform::processEnvironment();
    platform::SystemClock systemClock;
    platform::ProcProcessTable processes;
    platform::SpawnLauncher launcher;
    webcontrol::CollectingNotices notices;
    std::unique_ptr<platform::FileDialogs> systemDialogs;
    if (auto file = env("QUENVARA_DIALOG_ANSWERS"); file && !file->empty()) {
        systemDialogs = std::make_unique<platform::ScriptedFileDialogs>(
            platform::ScriptedFileDialogs::readAnswers(platform::utf8Path(*file)));
    } else {
#ifdef _WIN32
        systemDialogs = std::make_unique<webcontrol::WindowsFileDialogs>();
#else
        systemDialogs = std::make_unique<webcontrol::GtkFileDialogs>(notices);
#endif
    }
    // Every call holds the control; its waits on a person or on the
    // uploader let go of it, so that the page's queries are answered.
    webcontrol::ControlLock controlLock;
    webcontrol::UnlockedDialogs dialogs(*systemDialogs, controlLock);
    webcontrol::UnlockedClock clock(systemClock, controlLock);
    handover::PipeListWriter writer(notices, clock, [&env](std::string_view name) {
        return platform::pipeDirectory(env) / std::string(name);
    });
    webcontrol::ControlModule module(writer);
    webcontrol::CQuenvaraUploadControlCtrl control(
        webcontrol::ControlServices{notices, clock, processes, launcher, dialogs, env,
                                    platform::executablePath().parent_path(),
                                    webcontrol::outsideOf(controlLock)},
        module);
    webcontrol::HostSession session(control, notices, &controlLock);
    webcontrol::HostLoop loop(session, [answers](const std::string& answer) {
        return writeAll(answers, webcontrol::nativeMessageFrame(answer));
    });

    webcontrol::NativeMessageReader reader(
        [requests](void* buffer, std::size_t size) { return readSome(requests, buffer, size); });
    for (;;) {
        auto message = reader.next();
        bool written = true;
        if (!message) {
            written = loop.answer(
                webcontrol::HostSession::errorAnswer(message.error(), reader.refusedId()));
        } else if (!*message) {
            break;  // the page went away
        } else {
            written = loop.dispatch(**message);
        }
        if (!written || reader.broken()) {
            break;
        }
    }
    // A call still running gets a moment to answer; a dialog no page waits
    // for any more is then left behind.
    for (int i = 0; i < 100 && loop.busy(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (loop.busy()) {
        std::_Exit(reader.broken() ? 1 : 0);
    }
    return reader.broken() ? 1 : 0;
}
