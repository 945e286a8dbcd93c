#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "webcontrol/host/host_session.h"

namespace quenvara::webcontrol {

// Serves a page's requests as they arrive. A selection dialog and the
// uploader's launch wait on a person or a program: they run on a worker,
// so that the page's other calls (IsOpenSelectDlg among them) are answered
// meanwhile; a second such call while one runs is refused at once.
class HostLoop {
  public:
    // Writes one answer (the JSON text); false when the page is gone.
    using WriteFn = std::function<bool(const std::string& answer)>;

    HostLoop(HostSession& session, WriteFn write) : session_(session), write_(std::move(write)) {}
    ~HostLoop();
    HostLoop(const HostLoop&) = delete;
    HostLoop& operator=(const HostLoop&) = delete;

    // False once an answer could not be written.
    bool dispatch(std::string_view request);
    // Writes an answer of the reader's own (a refused message).
    bool answer(const std::string& text);
    // A dialog or a launch is running.
    bool busy() const { return busy_; }
    // Waits for the running dialog or launch to end.
    void finish();

  private:
    HostSession& session_;
    WriteFn write_;
    std::mutex writeMutex_;
    std::thread worker_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> failed_{false};
};

}  // namespace quenvara::webcontrol
