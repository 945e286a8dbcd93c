#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace quenvara::platform {

enum class NoticeIcon { None, Information, Question, Warning, Stop };
enum class NoticeButtons { Ok, YesNo };
enum class NoticeAnswer { Ok, Yes, No };

// Message boxes. A GUI shows dialogs; headless runs print one line each and
// take the default answer; tests record them.
class Notices {
  public:
    virtual ~Notices() = default;
    virtual NoticeAnswer messageBox(std::string_view text, std::string_view caption,
                                    NoticeButtons buttons, NoticeIcon icon) = 0;
    // A notice that closes by itself after the given seconds.
    virtual void autoClosingBox(std::string_view text, std::string_view caption, int seconds) = 0;

    void show(std::string_view text) {
        messageBox(text, "", NoticeButtons::Ok, NoticeIcon::Information);
    }
};

// Headless: one line on the given stream (standard error) per box, line
// breaks of the text shown as " / ", default answer Yes or OK.
class StreamNotices final : public Notices {
  public:
    explicit StreamNotices(std::ostream& out) : out_(out) {}
    NoticeAnswer messageBox(std::string_view text, std::string_view caption, NoticeButtons buttons,
                            NoticeIcon icon) override;
    void autoClosingBox(std::string_view text, std::string_view caption, int seconds) override;

  private:
    void line(std::string_view caption, std::string_view text);

    std::ostream& out_;
    std::mutex mutex_;
};

// The text of a box on one line.
std::string oneLine(std::string_view text);

}  // namespace quenvara::platform
