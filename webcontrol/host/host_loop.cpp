#include "webcontrol/host/host_loop.h"

namespace quenvara::webcontrol {

namespace {

bool waitsLong(const std::string& member) {
    return member == "ShowSelectDlg" || member == "RunUploadModule";
}

}  // namespace

HostLoop::~HostLoop() {
    finish();
}

void HostLoop::finish() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool HostLoop::answer(const std::string& text) {
    std::lock_guard lock(writeMutex_);
    if (!write_(text)) {
        failed_ = true;
    }
    return !failed_;
}

bool HostLoop::dispatch(std::string_view request) {
    const auto member = HostSession::memberOf(request);
    if (!member || !waitsLong(*member)) {
        return answer(session_.handle(request));
    }
    if (busy_) {
        const std::string why = *member == "ShowSelectDlg"
                                    ? "a selection dialog is already open"
                                    : "the control is busy with a selection or a launch";
        return answer(HostSession::refusal(request, why));
    }
    finish();
    busy_ = true;
    // Free before the answer leaves: a page may send its next long call as
    // soon as it reads this one's answer, and that call joins this thread.
    worker_ = std::thread([this, text = std::string(request)] {
        const auto reply = session_.handle(text);
        busy_ = false;
        answer(reply);
    });
    return !failed_;
}

}  // namespace quenvara::webcontrol
