#include "platform/notices.h"

namespace quenvara::platform {

std::string oneLine(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            continue;
        }
        if (text[i] == '\n') {
            // Runs of breaks become one separator; a trailing break none.
            while (i + 1 < text.size() && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
                ++i;
            }
            if (i + 1 < text.size()) {
                out += " / ";
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

void StreamNotices::line(std::string_view caption, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (!caption.empty()) {
        out_ << '[' << caption << "] ";
    }
    out_ << oneLine(text) << std::endl;
}

NoticeAnswer StreamNotices::messageBox(std::string_view text, std::string_view caption,
                                       NoticeButtons buttons, NoticeIcon) {
    line(caption, text);
    return buttons == NoticeButtons::YesNo ? NoticeAnswer::Yes : NoticeAnswer::Ok;
}

void StreamNotices::autoClosingBox(std::string_view text, std::string_view caption, int) {
    line(caption, text);
}

}  // namespace quenvara::platform
