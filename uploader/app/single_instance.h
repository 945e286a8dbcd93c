#pragma once

#include <string_view>

#include "platform/process_table.h"

namespace quenvara::uploader {

inline constexpr std::string_view kAlreadyRunningText = "이미 실행 중 입니다.";

// True unless another process runs the same program file (names compared
// lower-cased). The running instance counts itself; a snapshot that cannot
// be taken lets the start go on.
bool isOnlyInstance(const platform::ProcessTable& processes, std::string_view programFileName);

}  // namespace quenvara::uploader
