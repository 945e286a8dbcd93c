// The hand-over's named pipe under Wine: frames both ways, who is at the
// other end, one server per name, an accept that can be woken, reads that
// time out or see the client go, the pipe's security, and pipe folders
// given as ordinary folders (as tests do) mapped to names of their own.
#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cerrno>
#include <future>
#include <thread>

#include "platform/local_pipe.h"
#include "platform/path_text.h"
#include "tests/support/temp_dir.h"

namespace quenvara::platform {
namespace {

using namespace std::chrono_literals;

std::filesystem::path uniquePipe(const char* what) {
    return L"\\\\.\\pipe\\quenvara-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           utf8Path(what).native();
}

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(NamedPipe, FramesGoBothWaysBetweenTwoEndsOfOneUser) {
    const auto name = uniquePipe("frames");
    auto listener = LocalPipeListener::listen(name);
    ASSERT_TRUE(listener) << listener.error();
    auto accepted = std::async(std::launch::async, [&] { return listener->accept(); });
    int error = 0;
    auto client = connectLocalPipe(name, error);
    ASSERT_TRUE(client) << client.error();
    auto server = accepted.get();
    ASSERT_TRUE(server) << server.error();

    // More than one buffer's worth, however the pipe splits it.
    std::vector<std::uint8_t> frame(200'000);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7);
    }
    auto written = std::async(std::launch::async, [&] { return client->writeAll(frame); });
    std::vector<std::uint8_t> got(frame.size());
    EXPECT_TRUE(server->readFull(got, 5000ms).complete(frame.size()));
    EXPECT_TRUE(written.get().complete(frame.size()));
    EXPECT_EQ(got, frame);

    const auto ack = bytes("ok");
    EXPECT_TRUE(server->writeAll(ack).complete(2));
    std::vector<std::uint8_t> answer(2);
    EXPECT_TRUE(client->readFull(answer, 5000ms).complete(2));
    EXPECT_EQ(answer, ack);

    EXPECT_EQ(server->peerUid(), currentUserId());
    EXPECT_EQ(client->peerUid(), currentUserId());
}

TEST(NamedPipe, ReadsTimeOutOrSeeTheClientGo) {
    const auto name = uniquePipe("reads");
    auto listener = LocalPipeListener::listen(name);
    ASSERT_TRUE(listener) << listener.error();
    auto accepted = std::async(std::launch::async, [&] { return listener->accept(); });
    int error = 0;
    auto client = connectLocalPipe(name, error);
    ASSERT_TRUE(client);
    auto server = accepted.get();
    ASSERT_TRUE(server);

    std::vector<std::uint8_t> buffer(4);
    const auto silent = server->readFull(buffer, 100ms);
    EXPECT_TRUE(silent.timedOut);
    EXPECT_EQ(silent.transferred, 0u);

    // Half a frame arrives, then the client goes: the rest is no wait.
    EXPECT_TRUE(client->writeAll(bytes("ab")).complete(2));
    std::vector<std::uint8_t> half(2);
    EXPECT_TRUE(server->readFull(half, 5000ms).complete(2));
    client.value() = LocalPipeConnection(UniqueFd());
    const auto cut = server->readFull(buffer, 5000ms);
    EXPECT_TRUE(cut.endOfFile);
    EXPECT_FALSE(cut.timedOut);
    EXPECT_EQ(cut.transferred, 0u);
}

TEST(NamedPipe, OneServerPerNameAndAWaitingAcceptCanBeWoken) {
    const auto name = uniquePipe("single");
    auto first = LocalPipeListener::listen(name);
    ASSERT_TRUE(first) << first.error();
    auto second = LocalPipeListener::listen(name);
    ASSERT_FALSE(second);
    EXPECT_NE(second.error().find("another program already serves this pipe"), std::string::npos)
        << second.error();

    auto waiting = std::async(std::launch::async, [&] { return first->accept(); });
    EXPECT_EQ(waiting.wait_for(200ms), std::future_status::timeout);
    first->interrupt();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(first->accept());  // later calls fail too
}

TEST(NamedPipe, NoServerIsNoSuchFileAndAFolderHasItsOwnPipe) {
    int error = 0;
    EXPECT_FALSE(connectLocalPipe(uniquePipe("nobody"), error));
    EXPECT_EQ(error, ENOENT);

    testing::TempDir a;
    testing::TempDir b;
    ASSERT_TRUE(ensurePrivateDirectory(a.path()));
    ASSERT_TRUE(ensurePrivateDirectory(L"\\\\.\\pipe"));
    EXPECT_FALSE(checkPrivateDirectory(a / "missing"));
    auto inA = LocalPipeListener::listen(a / "quenvaraupload.exe");
    ASSERT_TRUE(inA) << inA.error();
    // The same program name in another folder is another pipe.
    auto inB = LocalPipeListener::listen(b / "quenvaraupload.exe");
    ASSERT_TRUE(inB) << inB.error();
    EXPECT_TRUE(connectLocalPipe(a / "quenvaraupload.exe", error));
    EXPECT_FALSE(connectLocalPipe(a / "other.exe", error));
}

TEST(NamedPipe, OnlyTheCurrentUserMayOpenIt) {
    const std::wstring name = uniquePipe("security").native();
    auto listener = LocalPipeListener::listen(name);
    ASSERT_TRUE(listener);
    HANDLE pipe = ::CreateFileW(name.c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ::CloseHandle(pipe);
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 1);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_NE(::GetAce(dacl, 0, reinterpret_cast<void**>(&ace)), 0);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    HANDLE token = nullptr;
    ASSERT_NE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token), 0);
    std::uint8_t user[256];
    DWORD size = sizeof user;
    ASSERT_NE(::GetTokenInformation(token, TokenUser, user, size, &size), 0);
    ::CloseHandle(token);
    EXPECT_NE(::EqualSid(&ace->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid), 0);
    ::LocalFree(descriptor);
}

}  // namespace
}  // namespace quenvara::platform
