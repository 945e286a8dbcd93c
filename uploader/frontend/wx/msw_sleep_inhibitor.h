#pragma once

namespace quenvara::uploader::wxui {

// Keeps Windows from sleeping while a run uploads: the GUI thread tells the
// system it needs it (SetThreadExecutionState) for as long as it holds.
class SleepInhibitor {
  public:
    SleepInhibitor() = default;
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // Called from the GUI thread only: the state belongs to the thread.
    void hold(bool wanted);
    bool held() const { return held_; }

  private:
    bool held_ = false;
};

}  // namespace quenvara::uploader::wxui
