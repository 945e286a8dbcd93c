// The hand-over's pipe as Windows has it: a named pipe in \\.\pipe\, served
// with overlapped I/O so that accept and reads can be woken or timed out.
// The first instance is created with FILE_FLAG_FIRST_PIPE_INSTANCE, so a
// second server on the same name fails; remote clients are refused, and
// the pipe's security lets only the current user open it. Connections are
// C runtime descriptors over the pipe handle, closed as UniqueFd closes.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/local_pipe.h"
#include "platform/path_text.h"

namespace quenvara::platform {
namespace {

const std::wstring kPipeNamespace = L"\\\\.\\pipe\\";
constexpr DWORD kBufferSize = 64 * 1024;

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) {
            ::CloseHandle(h);
        }
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A path in the pipe namespace names the pipe itself; any other path (tests
// point the pipe folder somewhere of their own) is folded into one name
// there, so that each folder has its own pipe.
std::wstring pipeNameOf(const std::filesystem::path& path) {
    const std::wstring& text = path.native();
    if (text.rfind(kPipeNamespace, 0) == 0 &&
        text.find(L'\\', kPipeNamespace.size()) == std::wstring::npos) {
        return text;
    }
    std::wstring flat = text;
    for (auto& c : flat) {
        if (c == L'\\' || c == L'/' || c == L':') {
            c = L'_';
        }
    }
    return kPipeNamespace + flat;
}

bool isPipeNamespace(const std::filesystem::path& dir) {
    std::wstring text = dir.native();
    if (!text.empty() && text.back() != L'\\') {
        text += L'\\';
    }
    return text == kPipeNamespace;
}

int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_PIPE_BUSY:
            return EAGAIN;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED:
            return EPIPE;
        case ERROR_OPERATION_ABORTED:
            return ECANCELED;
        default:
            return EIO;
    }
}

std::string failureText(const std::wstring& name, DWORD code) {
    return utf8Text(std::filesystem::path(name)) + ": " + std::strerror(errnoOf(code)) +
           " (Windows error " + std::to_string(code) + ")";
}

// The user a token belongs to.
std::unique_ptr<std::uint8_t[]> tokenUser(HANDLE token) {
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return nullptr;
    }
    auto buffer = std::make_unique<std::uint8_t[]>(size);
    if (::GetTokenInformation(token, TokenUser, buffer.get(), size, &size) == 0) {
        return nullptr;
    }
    return buffer;
}

std::unique_ptr<std::uint8_t[]> processUser(HANDLE process) {
    HANDLE token = nullptr;
    if (::OpenProcessToken(process, TOKEN_QUERY, &token) == 0) {
        return nullptr;
    }
    const Handle held(token);
    return tokenUser(token);
}

PSID sidOf(const std::unique_ptr<std::uint8_t[]>& user) {
    return reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid;
}

// Only the current user may open the pipe: a protected DACL with one entry.
struct PipeSecurity {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{};
    PipeSecurity() = default;
    PipeSecurity(const PipeSecurity&) = delete;
    PipeSecurity& operator=(const PipeSecurity&) = delete;
    ~PipeSecurity() { ::LocalFree(descriptor); }

    bool make() {
        const auto user = processUser(::GetCurrentProcess());
        wchar_t* sid = nullptr;
        if (!user || ::ConvertSidToStringSidW(sidOf(user), &sid) == 0) {
            return false;
        }
        const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sid) + L")";
        ::LocalFree(sid);
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                   &descriptor, nullptr) == 0) {
            return false;
        }
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = descriptor;
        attributes.bInheritHandle = FALSE;
        return true;
    }
};

HANDLE handleOf(const UniqueFd& fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd.get()));
}

// Waits for an overlapped operation at most `timeout` (INFINITE for no
// bound); a time-out cancels it.
struct Completion {
    DWORD transferred = 0;
    DWORD error = 0;
    bool timedOut = false;
};

Completion complete(HANDLE h, OVERLAPPED& ov, BOOL started, DWORD timeout) {
    Completion c;
    if (started == 0) {
        c.error = ::GetLastError();
        if (c.error != ERROR_IO_PENDING) {
            return c;
        }
        c.error = 0;
        if (::WaitForSingleObject(ov.hEvent, timeout) == WAIT_TIMEOUT) {
            ::CancelIoEx(h, &ov);
            c.timedOut = true;
        }
    }
    if (::GetOverlappedResult(h, &ov, &c.transferred, TRUE) == 0 && !c.timedOut) {
        c.error = ::GetLastError();
    }
    return c;
}

Handle createInstance(const std::wstring& name, PipeSecurity& security, bool first) {
    const DWORD open =
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    const DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    HANDLE h = ::CreateNamedPipeW(name.c_str(), open, mode, PIPE_UNLIMITED_INSTANCES, kBufferSize,
                                  kBufferSize, 0, &security.attributes);
    return Handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

UniqueFd descriptorOf(Handle handle) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_RDWR | _O_BINARY);
    if (fd >= 0) {
        handle.release();
    }
    return UniqueFd(fd);
}

}  // namespace

Status ensurePrivateDirectory(const std::filesystem::path& dir) {
    if (isPipeNamespace(dir)) {
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    return checkPrivateDirectory(dir);
}

// The pipe's own security keeps other users out; a folder given instead of
// the pipe namespace must at least be a folder and no link.
Status checkPrivateDirectory(const std::filesystem::path& dir) {
    if (isPipeNamespace(dir)) {
        return {};
    }
    const DWORD attributes = ::GetFileAttributesW(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Status::failure(utf8Text(dir) + ": " + std::strerror(errnoOf(::GetLastError())));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Status::failure(utf8Text(dir) + ": not a folder");
    }
    return {};
}

// Beside the pipe when it is named after a folder; for a pipe in the
// namespace itself, in the user's own temporary folder.
std::filesystem::path lockBeside(const std::filesystem::path& socketPath, const wchar_t* suffix) {
    if (!isPipeNamespace(socketPath.parent_path())) {
        return socketPath.native() + suffix;
    }
    std::error_code error;
    return std::filesystem::temp_directory_path(error) /
           (L"quenvara-" + socketPath.filename().native() + suffix);
}

std::filesystem::path instanceLockPath(const std::filesystem::path& socketPath) {
    return lockBeside(socketPath, L".lock");
}

std::filesystem::path handoverLockPath(const std::filesystem::path& socketPath) {
    return lockBeside(socketPath, L".handover.lock");
}

// Every user of ours is "0"; anyone else is unknown.
long currentUserId() {
    return 0;
}

long LocalPipeConnection::peerUid() const {
    const HANDLE pipe = handleOf(fd_);
    DWORD flags = 0;
    ULONG pid = 0;
    if (::GetNamedPipeInfo(pipe, &flags, nullptr, nullptr, nullptr) == 0) {
        return -1;
    }
    const BOOL known = (flags & PIPE_SERVER_END) != 0 ? ::GetNamedPipeClientProcessId(pipe, &pid)
                                                      : ::GetNamedPipeServerProcessId(pipe, &pid);
    if (known == 0) {
        return -1;
    }
    const Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        return -1;
    }
    const auto theirs = processUser(process.get());
    const auto ours = processUser(::GetCurrentProcess());
    return theirs && ours && ::EqualSid(sidOf(theirs), sidOf(ours)) != 0 ? currentUserId() : -1;
}

IoOutcome LocalPipeConnection::readFull(std::span<std::uint8_t> buffer, Millis timeout) {
    IoOutcome out;
    SystemClock clock;
    const Millis deadline = clock.monotonic() + timeout;
    const HANDLE pipe = handleOf(fd_);
    const Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    while (out.transferred < buffer.size()) {
        const Millis left = deadline - clock.monotonic();
        if (left <= Millis{0}) {
            out.timedOut = true;
            return out;
        }
        OVERLAPPED ov{};
        ov.hEvent = event.get();
        const auto want =
            static_cast<DWORD>(std::min<std::size_t>(buffer.size() - out.transferred, kBufferSize));
        const BOOL started = ::ReadFile(pipe, buffer.data() + out.transferred, want, nullptr, &ov);
        const Completion c = complete(pipe, ov, started, static_cast<DWORD>(left.count()));
        out.transferred += c.transferred;
        if (c.timedOut) {
            out.timedOut = out.transferred < buffer.size();
            return out;
        }
        if (c.error == ERROR_BROKEN_PIPE || c.error == ERROR_PIPE_NOT_CONNECTED) {
            out.endOfFile = true;
            return out;
        }
        if (c.error != 0) {
            out.error = errnoOf(c.error);
            return out;
        }
    }
    return out;
}

IoOutcome LocalPipeConnection::writeAll(std::span<const std::uint8_t> data) {
    IoOutcome out;
    const HANDLE pipe = handleOf(fd_);
    const Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    while (out.transferred < data.size()) {
        OVERLAPPED ov{};
        ov.hEvent = event.get();
        const auto want =
            static_cast<DWORD>(std::min<std::size_t>(data.size() - out.transferred, kBufferSize));
        const BOOL started = ::WriteFile(pipe, data.data() + out.transferred, want, nullptr, &ov);
        const Completion c = complete(pipe, ov, started, INFINITE);
        out.transferred += c.transferred;
        if (c.error != 0) {
            out.error = errnoOf(c.error);
            return out;
        }
    }
    return out;
}

namespace {

// One listening instance and its connect in progress.
struct ListeningInstance {
    Handle pipe;
    Handle connected{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED ov{};
    bool pending = false;

    // A connect in progress ends before its OVERLAPPED goes away.
    void cancel() {
        if (pending) {
            ::CancelIoEx(pipe.get(), &ov);
            DWORD ignored = 0;
            ::GetOverlappedResult(pipe.get(), &ov, &ignored, TRUE);
            pending = false;
        }
    }
    ~ListeningInstance() { cancel(); }
};

}  // namespace

struct LocalPipeListener::Handles {
    std::wstring name;
    // Held while the pipe is served: FILE_FLAG_FIRST_PIPE_INSTANCE alone is
    // not kept by every system (Wine ignores it).
    Handle owner;
    PipeSecurity security;
    // Two instances listen at all times, each with its connect in progress,
    // as a socket's backlog would hold: while one client is taken over and
    // its instance made again, the next client finds the other one (some
    // systems answer "no such pipe", not "busy", when none is free).
    std::array<ListeningInstance, 2> listening;
    Handle wake{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

LocalPipeListener::LocalPipeListener(std::unique_ptr<Handles> handles)
    : handles_(std::move(handles)) {}

LocalPipeListener::LocalPipeListener(LocalPipeListener&&) noexcept = default;
LocalPipeListener& LocalPipeListener::operator=(LocalPipeListener&&) noexcept = default;
LocalPipeListener::~LocalPipeListener() = default;

Result<LocalPipeListener> LocalPipeListener::listen(const std::filesystem::path& socketPath) {
    auto handles = std::make_unique<Handles>();
    handles->name = pipeNameOf(socketPath);
    if (!handles->security.make()) {
        return Result<LocalPipeListener>::failure(
            "the pipe's security cannot be made (Windows error " +
            std::to_string(::GetLastError()) + ")");
    }
    // Named after the pipe (whose name holds no backslash), in this
    // session's namespace.
    const std::wstring owner =
        L"Local\\quenvara-pipe-" + handles->name.substr(kPipeNamespace.size());
    handles->owner.reset(::CreateMutexW(&handles->security.attributes, FALSE, owner.c_str()));
    const bool taken = !handles->owner || ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (!taken) {
        handles->listening[0].pipe = createInstance(handles->name, handles->security, true);
    }
    if (!handles->listening[0].pipe) {
        const DWORD code = taken ? ERROR_ACCESS_DENIED : ::GetLastError();
        if (code == ERROR_ACCESS_DENIED) {
            return Result<LocalPipeListener>::failure(
                utf8Text(std::filesystem::path(handles->name)) +
                ": another program already serves this pipe");
        }
        return Result<LocalPipeListener>::failure(failureText(handles->name, code));
    }
    return LocalPipeListener(std::move(handles));
}

Result<LocalPipeConnection> LocalPipeListener::accept() {
    Handles& h = *handles_;
    if (::WaitForSingleObject(h.wake.get(), 0) == WAIT_OBJECT_0) {
        return Result<LocalPipeConnection>::failure("listener interrupted");
    }
    // Each instance made (again) where needed and listening; one a client
    // took before its connect began is served at once.
    ListeningInstance* ready = nullptr;
    DWORD lastError = ERROR_PIPE_LISTENING;
    std::vector<HANDLE> waits;
    std::vector<ListeningInstance*> waiting;
    for (ListeningInstance& l : h.listening) {
        if (!l.pipe) {
            l.pipe = createInstance(h.name, h.security, false);
            if (!l.pipe) {
                lastError = ::GetLastError();
                continue;
            }
        }
        if (!l.pending && ready == nullptr) {
            ::ResetEvent(l.connected.get());
            l.ov = OVERLAPPED{};
            l.ov.hEvent = l.connected.get();
            // A client may have come before the connect began, and even gone
            // again: it is served all the same (its end is read as such).
            if (::ConnectNamedPipe(l.pipe.get(), &l.ov) != 0) {
                ready = &l;
                continue;
            }
            const DWORD code = ::GetLastError();
            if (code == ERROR_PIPE_CONNECTED || code == ERROR_NO_DATA) {
                ready = &l;
                continue;
            }
            if (code != ERROR_IO_PENDING) {
                l.pipe.reset();  // made again next time
                lastError = code;
                continue;
            }
            l.pending = true;
        }
        if (l.pending) {
            waits.push_back(l.connected.get());
            waiting.push_back(&l);
        }
    }
    if (ready == nullptr) {
        if (waits.empty()) {
            return Result<LocalPipeConnection>::failure(failureText(h.name, lastError));
        }
        waits.push_back(h.wake.get());
        const DWORD woken = ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(),
                                                     FALSE, INFINITE);
        const DWORD index = woken - WAIT_OBJECT_0;
        if (index >= waiting.size()) {
            return Result<LocalPipeConnection>::failure("listener interrupted");
        }
        ready = waiting[index];
        ready->pending = false;
        DWORD ignored = 0;
        if (::GetOverlappedResult(ready->pipe.get(), &ready->ov, &ignored, TRUE) == 0) {
            const DWORD failed = ::GetLastError();
            ready->pipe.reset();
            return Result<LocalPipeConnection>::failure(failureText(h.name, failed));
        }
    }
    // This instance is the client's now; the other keeps listening, and
    // this one is made again at once (or by the next accept).
    Handle client = std::move(ready->pipe);
    ready->pipe = createInstance(h.name, h.security, false);
    UniqueFd fd = descriptorOf(std::move(client));
    if (!fd.valid()) {
        return Result<LocalPipeConnection>::failure(h.name.empty() ? "pipe" : "pipe descriptor");
    }
    return LocalPipeConnection(std::move(fd));
}

void LocalPipeListener::interrupt() {
    ::SetEvent(handles_->wake.get());
}

bool pipeFolderExists(const std::filesystem::path& dir) {
    std::error_code error;
    return isPipeNamespace(dir) || std::filesystem::exists(dir, error) || error;
}

// A pipe whose every instance is busy is there too.
bool localPipeExists(const std::filesystem::path& socketPath) {
    const std::wstring name = pipeNameOf(socketPath);
    return ::WaitNamedPipeW(name.c_str(), 1) != 0 || ::GetLastError() == ERROR_SEM_TIMEOUT;
}

Result<LocalPipeConnection> connectLocalPipe(const std::filesystem::path& socketPath, int& error) {
    error = 0;
    const std::wstring name = pipeNameOf(socketPath);
    for (int attempt = 0;; ++attempt) {
        // Identification only: the server may learn who we are, not act as us.
        Handle pipe(::CreateFileW(
            name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe.get() == INVALID_HANDLE_VALUE) {
            pipe.release();
        }
        if (pipe) {
            UniqueFd fd = descriptorOf(std::move(pipe));
            if (!fd.valid()) {
                error = EMFILE;
                return Result<LocalPipeConnection>::failure("pipe descriptor");
            }
            return LocalPipeConnection(std::move(fd));
        }
        const DWORD code = ::GetLastError();
        // Every instance busy: wait a little for one, once.
        if (code == ERROR_PIPE_BUSY && attempt == 0 && ::WaitNamedPipeW(name.c_str(), 1000) != 0) {
            continue;
        }
        error = errnoOf(code);
        return Result<LocalPipeConnection>::failure(failureText(name, code));
    }
}

}  // namespace quenvara::platform
