#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/job_records.h"

#include "platform/clock.h"
#include "uploader/transfer/engine_events.h"

namespace quenvara::uploader {

class CFileListView;
class EngineDisplay;
class EngineGate;
class MusicList;
class MusicChecker;

// The values the web page set, as the window keeps them from the latest
// upload records.
struct UploadDefaults {
    std::string registrantName;
    // The same texts as the record's bytes (CP949, or whatever the page
    // sent): these go to the servers untouched.
    std::string registrantBytes;
    std::string sectionCodeBytes;
    std::string subSectionCodeBytes;
    std::string adultFlagBytes;
    std::string sectionCode;
    std::string subSectionCode;
    std::string adultFlag;
    std::int32_t userNumber = 0;
    double sizeCopy = 0;
};

// What the main window offers the transfer thread, beside taking its
// events. Safe to call from that thread: counters are atomic, controls and
// rows have their own locks, and timers go through the window's event loop.
class EngineOperations : public EngineEvents {
  public:
    virtual int runningFlag() const = 0;
    virtual int startedFlag() const = 0;
    virtual bool stopRequested() const = 0;
    virtual int activeFlag() const = 0;
    virtual void setActiveFlag(int active) = 0;

    virtual void addTotalBytes(double bytes) = 0;
    virtual double totalBytes() const = 0;
    virtual double doneBytes() const = 0;

    virtual void stopTimers() = 0;

    virtual std::string serverAddress() const = 0;
    virtual std::int32_t serverPort() const = 0;
    virtual UploadDefaults uploadDefaults() const = 0;

    // Timer 4: start the next run after the delay (1 s, or 189 s after 506).
    virtual void scheduleAutoStart(platform::Millis delay) = 0;
    virtual void closeFolderWaitDialog() = 0;
    virtual int speedChoice() const = 0;

    // The folder item waiting for its expansion, of each kind.
    virtual std::optional<UploadJobRecord> pendingUploadFolder() const = 0;
    virtual std::optional<MyStorageJobRecord> pendingMyStorageFolder() const = 0;

    virtual CFileListView& list() = 0;
    virtual EngineDisplay& display() = 0;
    virtual EngineGate& gate() = 0;
    virtual MusicList& musicList() = 0;
    virtual MusicChecker& musicChecker() = 0;
};

}  // namespace quenvara::uploader
