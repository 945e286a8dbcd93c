#include "platform/file_dialogs.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace quenvara::platform {

std::vector<std::string> ScriptedFileDialogs::readAnswers(const std::filesystem::path& path) {
    std::vector<std::string> answers;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        answers.push_back(line);
    }
    return answers;
}

std::optional<std::string> ScriptedFileDialogs::next() {
    std::unique_lock lock(mutex_);
    if (next_ >= answers_.size()) {
        ++next_;
        return std::nullopt;
    }
    std::string answer = answers_[next_++];
    if (answer.starts_with('@')) {
        // "@MS ANSWER": the dialog stays open a while (not under the lock).
        const auto blank = answer.find(' ');
        const long ms = std::strtol(answer.c_str() + 1, nullptr, 10);
        answer = blank == std::string::npos ? "" : answer.substr(blank + 1);
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(ms, 0L, 600'000L)));
    }
    if (answer.empty()) {
        return std::nullopt;
    }
    return answer;
}

std::optional<std::string> ScriptedFileDialogs::browseFolder(std::string_view) {
    return next();
}

std::optional<std::string> ScriptedFileDialogs::openFile(std::string_view) {
    return next();
}

std::size_t ScriptedFileDialogs::asked() const {
    std::lock_guard lock(mutex_);
    return next_;
}

}  // namespace quenvara::platform
