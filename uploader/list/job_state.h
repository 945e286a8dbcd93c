#pragma once

#include <string_view>

namespace quenvara::uploader {

// JobState codes of a row (hidden column 7); any other text is a failure
// text written by the engine.
namespace job_state {
inline constexpr std::string_view kWaiting = "대기중";
inline constexpr std::string_view kUploading = "업로드중";
inline constexpr std::string_view kPaused = "일시중지";
inline constexpr std::string_view kDone = "완료";
}  // namespace job_state

// JobStatusText of a new row (hidden column 5).
inline constexpr std::string_view kWaitingStatusText = "대기중입니다.";

// Waiting, uploading and paused rows are unfinished; done and failed rows
// are finished.
inline bool isUnfinished(std::string_view state) {
    return state == job_state::kWaiting || state == job_state::kUploading ||
           state == job_state::kPaused;
}

}  // namespace quenvara::uploader
