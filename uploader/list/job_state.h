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

// What a row's state means, apart from the text shown for it.
enum class RowState { Waiting, Uploading, Paused, Done, Failed };

// The code text of a state; a failed row shows its own text instead.
inline std::string_view stateCode(RowState state) {
    switch (state) {
        case RowState::Waiting:
            return job_state::kWaiting;
        case RowState::Uploading:
            return job_state::kUploading;
        case RowState::Paused:
            return job_state::kPaused;
        case RowState::Done:
            return job_state::kDone;
        case RowState::Failed:
            break;
    }
    return "오류";
}

// A state text read back: any text but the four codes is a failure.
inline RowState rowStateOf(std::string_view text) {
    for (const auto state :
         {RowState::Waiting, RowState::Uploading, RowState::Paused, RowState::Done}) {
        if (text == stateCode(state)) {
            return state;
        }
    }
    return RowState::Failed;
}

// Waiting, uploading and paused rows are unfinished; done and failed rows
// are finished.
inline bool isUnfinished(RowState state) {
    return state != RowState::Done && state != RowState::Failed;
}
inline bool isUnfinished(std::string_view state) {
    return isUnfinished(rowStateOf(state));
}

}  // namespace quenvara::uploader
