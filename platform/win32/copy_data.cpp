#include <windows.h>

#include <future>
#include <thread>

#include "platform/copy_data.h"
#include "platform/path_text.h"

namespace quenvara::platform {
namespace {

constexpr wchar_t kClassName[] = L"QuenvaraCopyDataReceiver";

std::wstring wide(const std::string& utf8) {
    return utf8Path(utf8).native();
}

LRESULT CALLBACK receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* handler = reinterpret_cast<const CopyDataReceiver::Handler*>(
            ::GetWindowLongPtrW(window, GWLP_USERDATA));
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (handler == nullptr || copy == nullptr || copy->cbData > kMaxCopyData ||
            (copy->cbData > 0 && copy->lpData == nullptr)) {
            return FALSE;
        }
        const std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(copy->lpData),
                                                 copy->cbData);
        // Nothing thrown may unwind through the system's message dispatch:
        // a message that fails so is not taken.
        try {
            return (*handler)(static_cast<std::uint32_t>(copy->dwData), data) ? TRUE : FALSE;
        } catch (...) {
            return FALSE;
        }
    }
    if (message == WM_CLOSE) {
        ::DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class WindowReceiver final : public CopyDataReceiver {
  public:
    explicit WindowReceiver(Handler handler) : handler_(std::move(handler)) {}
    ~WindowReceiver() override {
        if (window_ != nullptr) {
            ::PostMessageW(window_, WM_CLOSE, 0, 0);
        }
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    Status open(const std::string& caption) {
        std::promise<std::string> opened;
        auto ready = opened.get_future();
        thread_ = std::thread([this, caption, &opened] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = receive;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = kClassName;
            ::RegisterClassW(&windowClass);  // a second registration fails harmlessly
            HWND window = ::CreateWindowExW(0, kClassName, wide(caption).c_str(), 0, 0, 0, 0, 0,
                                            HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
            if (window == nullptr) {
                opened.set_value("the window cannot be made (Windows error " +
                                 std::to_string(::GetLastError()) + ")");
                return;
            }
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler_));
            window_ = window;
            opened.set_value({});
            MSG message;
            while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        });
        const std::string error = ready.get();
        if (!error.empty()) {
            thread_.join();
            return Status::failure(error);
        }
        return {};
    }

  private:
    Handler handler_;
    std::thread thread_;
    HWND window_ = nullptr;
};

}  // namespace

Result<std::unique_ptr<CopyDataReceiver>> CopyDataReceiver::open(const std::string& caption,
                                                                 Handler handler) {
    auto receiver = std::make_unique<WindowReceiver>(std::move(handler));
    if (auto opened = receiver->open(caption); !opened) {
        return Result<std::unique_ptr<CopyDataReceiver>>::failure(opened.error());
    }
    return std::unique_ptr<CopyDataReceiver>(std::move(receiver));
}

namespace {

// A top-level window first, then a message-only one.
HWND windowCaptioned(const std::string& caption) {
    const std::wstring title = wide(caption);
    HWND window = ::FindWindowW(nullptr, title.c_str());
    if (window == nullptr) {
        window = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, title.c_str());
    }
    return window;
}

}  // namespace

bool copyDataWindowExists(const std::string& caption) {
    return windowCaptioned(caption) != nullptr;
}

Result<bool> sendCopyData(const std::string& caption, std::uint32_t kind,
                          std::span<const std::uint8_t> data, Millis timeout) {
    if (data.size() > kMaxCopyData) {
        return Result<bool>::failure("a message of " + std::to_string(data.size()) +
                                     " bytes is over the limit of " + std::to_string(kMaxCopyData));
    }
    const HWND window = windowCaptioned(caption);
    if (window == nullptr) {
        return Result<bool>::failure("no window captioned \"" + caption + "\"");
    }
    COPYDATASTRUCT copy{};
    copy.dwData = kind;
    copy.cbData = static_cast<DWORD>(data.size());
    copy.lpData = const_cast<std::uint8_t*>(data.data());
    DWORD_PTR answer = FALSE;
    if (::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                              SMTO_ABORTIFHUNG | SMTO_BLOCK, static_cast<UINT>(timeout.count()),
                              &answer) == 0) {
        return Result<bool>::failure("the window captioned \"" + caption + "\" did not answer");
    }
    return answer != FALSE;
}

}  // namespace quenvara::platform
