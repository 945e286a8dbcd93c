#pragma once

#include <condition_variable>
#include <mutex>

namespace quenvara::uploader {

// Lets the window hold the transfer thread still at a point where it does
// not touch the list (the delete command), cooperatively: the engine calls
// safePoint() between its steps and parks there while a hold is on. The
// window never waits on the network: a hold is granted at once while the
// engine sits in a network wait (Quiet).
class EngineGate {
  public:
    // Window side: returns once the engine is parked or not inside a run.
    void hold();
    void release();

    // Engine side.
    void enterRun();
    void leaveRun();
    void safePoint();
    // Around a wait on the network or the clock, where the engine does not
    // touch the list: a hold is granted at once, and the engine, when its
    // wait ends, parks until the hold is released.
    void beginQuiet();
    void endQuiet();

    class Quiet {
      public:
        explicit Quiet(EngineGate& gate) : gate_(gate) { gate_.beginQuiet(); }
        ~Quiet() { gate_.endQuiet(); }
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

      private:
        EngineGate& gate_;
    };

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool holdRequested_ = false;
    bool inRun_ = false;
    bool parked_ = false;
    bool quiet_ = false;
};

// Holds the engine for a scope.
class EngineHold {
  public:
    explicit EngineHold(EngineGate& gate) : gate_(gate) { gate_.hold(); }
    ~EngineHold() { gate_.release(); }
    EngineHold(const EngineHold&) = delete;
    EngineHold& operator=(const EngineHold&) = delete;

  private:
    EngineGate& gate_;
};

}  // namespace quenvara::uploader
