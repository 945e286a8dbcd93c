#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenvara::platform {

// The desktop's selection dialogs: a folder browser and an open-file dialog.
// Each returns the chosen path, or nothing when cancelled.
class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    virtual std::optional<std::string> browseFolder(std::string_view title) = 0;
    virtual std::optional<std::string> openFile(std::string_view title) = 0;
};

// Answers from a file, one a line in order, whichever dialog asks; an empty
// line, or no line left, means cancelled. A line "@MS ANSWER" keeps the
// dialog open MS milliseconds first, as a person would. For tests and
// scripted use.
class ScriptedFileDialogs final : public FileDialogs {
  public:
    explicit ScriptedFileDialogs(std::vector<std::string> answers) : answers_(std::move(answers)) {}
    // The answers in a file; a file that cannot be read has none.
    static std::vector<std::string> readAnswers(const std::filesystem::path& path);

    std::optional<std::string> browseFolder(std::string_view title) override;
    std::optional<std::string> openFile(std::string_view title) override;
    std::size_t asked() const;

  private:
    std::optional<std::string> next();

    mutable std::mutex mutex_;
    std::vector<std::string> answers_;
    std::size_t next_ = 0;
};

}  // namespace quenvara::platform
