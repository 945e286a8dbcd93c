#include "protocol/record_path.h"

#include <filesystem>

namespace quenvara::record_path {

namespace {

// A path without a trailing separator, the root excepted.
std::string trimmed(std::string_view path) {
    std::string text = normalSeparators(path);
    if (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string normalSeparators(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        if (isSeparator(c)) {
            if (out.empty() || out.back() != '/') {
                out += '/';
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::string systemSeparators(std::string_view path) {
    std::string out = normalSeparators(path);
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    for (char& c : out) {
        if (c == '/') {
            c = separator;
        }
    }
    return out;
}

std::string join(std::string_view parent, std::string_view name) {
    std::string path(parent);
    if (!path.empty()) {
        path += '/';
    }
    path += name;
    return normalSeparators(path);
}

Status checkPlain(std::string_view path) {
    // A refusal shows where the text starts, never all of a long one.
    const auto shown = [&] {
        return std::string(path.substr(0, 200)) + (path.size() > 200 ? "…" : "");
    };
    if (path.size() > kMaxPathBytes) {
        return Status::failure("경로가 너무 깁니다. (" + std::to_string(path.size()) +
                               " 바이트): " + shown());
    }
    // Absolute as the platform has it: from "/" here, from a drive letter
    // or a share on Windows.
    if (path.empty() || !std::filesystem::path(std::string(path)).is_absolute()) {
        return Status::failure("절대 경로가 아닙니다: " + shown());
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isSeparator(path[end])) {
            ++end;
        }
        const auto part = path.substr(start, end - start);
        if (part == "." || part == "..") {
            return Status::failure("경로에 '.' 이나 '..' 가 있습니다: " + shown());
        }
        start = end + 1;
    }
    return {};
}

bool isInside(std::string_view path, std::string_view root) {
    const std::string p = trimmed(path);
    const std::string r = trimmed(root);
    if (r == "/") {
        return !p.empty() && p.front() == '/';
    }
    return p == r || (p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/');
}

bool isCarriableName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        if (isSeparator(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace quenvara::record_path
