#include "common/ini_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>

namespace quenvara {
namespace {

std::string_view trim(std::string_view s) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

}  // namespace

Result<IniFile> IniFile::load(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) {
        return IniFile{};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Result<IniFile>::failure(path.string() + ": cannot be opened for reading");
    }
    std::string text;
    text.resize(kMaxFileSize + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > kMaxFileSize) {
        return Result<IniFile>::failure(path.string() + ": larger than 1 MiB, not a settings file");
    }
    if (in.bad()) {
        return Result<IniFile>::failure(path.string() + ": read error");
    }
    text.resize(got);
    return parse(text);
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::string current;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (raw.ends_with('\r')) {
            raw.remove_suffix(1);
        }
        Line line{std::string(raw), current, {}, {}, false};
        const auto body = trim(raw);
        if (body.starts_with('[')) {
            const auto close = body.find(']');
            if (close != std::string_view::npos) {
                current = std::string(trim(body.substr(1, close - 1)));
                line.section = current;
                line.opensSection = true;
            }
        } else if (!body.empty() && body.front() != ';' && body.front() != '#') {
            const auto eq = body.find('=');
            if (eq != std::string_view::npos && eq > 0) {
                line.key = std::string(trim(body.substr(0, eq)));
                line.value = unquote(trim(body.substr(eq + 1)));
            }
        }
        ini.lines_.push_back(std::move(line));
    }
    return ini;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    for (const auto& line : lines_) {
        if (!line.key.empty() && equalsNoCase(line.section, section) &&
            equalsNoCase(line.key, key)) {
            return line.value;
        }
    }
    return std::nullopt;
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::optional<std::size_t> lastInSection;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto& line = lines_[i];
        if (!equalsNoCase(line.section, section)) {
            continue;
        }
        if (line.opensSection || !line.key.empty()) {
            lastInSection = i;
        }
        if (!line.key.empty() && equalsNoCase(line.key, key)) {
            line.value = std::string(value);
            line.raw = line.key + "=" + line.value;
            return;
        }
    }
    Line entry{std::string(key) + "=" + std::string(value), std::string(section), std::string(key),
               std::string(value), false};
    if (lastInSection) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*lastInSection + 1),
                      std::move(entry));
        return;
    }
    lines_.push_back(Line{"[" + std::string(section) + "]", std::string(section), {}, {}, true});
    lines_.push_back(std::move(entry));
}

std::string IniFile::text() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line.raw;
        out += '\n';
    }
    return out;
}

Status IniFile::save(const std::filesystem::path& path) const {
    std::error_code ec;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), ec);
        if (ec) {
            return Status::failure(path.parent_path().string() + ": " + ec.message());
        }
    }
    const auto tmp = path.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            return Status::failure(tmp + ": " + std::strerror(errno));
        }
        const auto t = text();
        out.write(t.data(), static_cast<std::streamsize>(t.size()));
        out.flush();
        if (!out) {
            return Status::failure(tmp + ": write error");
        }
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::filesystem::remove(tmp);
        return Status::failure(path.string() + ": " + ec.message());
    }
    return {};
}

int profileInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;  // saturate, never overflow
        }
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace quenvara
