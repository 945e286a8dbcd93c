#include "webcontrol/host/host_session.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <limits>

#include "webcontrol/dispatch_table.h"

namespace quenvara::webcontrol {

namespace {

using nlohmann::json;

std::string dump(const json& value) {
    // Texts from the file system may not be valid UTF-8: replaced, not thrown on.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<ControlValue> fromJson(const json& value) {
    switch (value.type()) {
        case json::value_t::null:
            return ControlValue{};
        case json::value_t::boolean:
            return ControlValue{value.get<bool>()};
        case json::value_t::string:
            return ControlValue{value.get<std::string>()};
        case json::value_t::number_integer: {
            const auto v = value.get<std::int64_t>();
            if (v >= std::numeric_limits<std::int32_t>::min() &&
                v <= std::numeric_limits<std::int32_t>::max()) {
                return ControlValue{static_cast<std::int32_t>(v)};
            }
            return ControlValue{static_cast<double>(v)};
        }
        case json::value_t::number_unsigned: {
            const auto v = value.get<std::uint64_t>();
            if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
                return ControlValue{static_cast<std::int32_t>(v)};
            }
            return ControlValue{static_cast<double>(v)};
        }
        case json::value_t::number_float:
            return ControlValue{value.get<double>()};
        default:
            return std::nullopt;
    }
}

json toJson(const ControlValue& value) {
    return std::visit(
        [](const auto& v) -> json {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                return nullptr;
            } else {
                return v;
            }
        },
        value);
}

}  // namespace

platform::NoticeAnswer CollectingNotices::messageBox(std::string_view text,
                                                     std::string_view caption,
                                                     platform::NoticeButtons buttons,
                                                     platform::NoticeIcon) {
    std::cerr << "quenvara-control-host: " << caption << ": " << platform::oneLine(text)
              << std::endl;
    std::lock_guard lock(mutex_);
    texts_.emplace_back(std::this_thread::get_id(), text);
    return buttons == platform::NoticeButtons::YesNo ? platform::NoticeAnswer::Yes
                                                     : platform::NoticeAnswer::Ok;
}

void CollectingNotices::autoClosingBox(std::string_view text, std::string_view caption, int) {
    messageBox(text, caption, platform::NoticeButtons::Ok, platform::NoticeIcon::Information);
}

std::vector<std::string> CollectingNotices::take() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> mine;
    std::erase_if(texts_, [&](auto& entry) {
        if (entry.first != std::this_thread::get_id()) {
            return false;
        }
        mine.push_back(std::move(entry.second));
        return true;
    });
    return mine;
}

std::string HostSession::errorAnswer(std::string_view why, const std::optional<std::string>& id) {
    json answer{{"id", nullptr}, {"error", std::string(why)}};
    if (id) {
        if (auto value = json::parse(*id, nullptr, false); !value.is_discarded()) {
            answer["id"] = value;
        }
    }
    return dump(answer);
}

std::string HostSession::refusal(std::string_view request, std::string_view why) {
    json answer{{"id", nullptr}, {"error", std::string(why)}};
    const json message = json::parse(request, nullptr, false);
    if (message.is_object()) {
        if (auto id = message.find("id");
            id != message.end() && (id->is_number_integer() || id->is_string())) {
            answer["id"] = *id;
        }
    }
    return dump(answer);
}

std::optional<std::string> HostSession::memberOf(std::string_view request) {
    const json message = json::parse(request, nullptr, false);
    if (!message.is_object()) {
        return std::nullopt;
    }
    const auto member = message.find("member");
    if (member == message.end() || !member->is_string()) {
        return std::nullopt;
    }
    return member->get<std::string>();
}

std::string HostSession::handle(std::string_view request) {
    const json message = json::parse(request, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        return errorAnswer("the request is not a JSON object");
    }
    json answer{{"id", nullptr}};
    if (auto id = message.find("id"); id != message.end()) {
        if (!id->is_number_integer() && !id->is_string()) {
            return errorAnswer("the request's id must be a number or a text");
        }
        answer["id"] = *id;
    }
    const auto member = message.find("member");
    if (member == message.end() || !member->is_string()) {
        answer["error"] = "the request names no member";
        return dump(answer);
    }
    std::vector<ControlValue> arguments;
    if (auto args = message.find("args"); args != message.end()) {
        if (!args->is_array() || args->size() > 4) {
            answer["error"] = "args must be an array of at most 4 values";
            return dump(answer);
        }
        for (std::size_t i = 0; i < args->size(); ++i) {
            auto value = fromJson((*args)[i]);
            if (!value) {
                answer["error"] = "argument " + std::to_string(i + 1) + " is not a plain value";
                return dump(answer);
            }
            arguments.push_back(std::move(*value));
        }
    }
    {
        std::lock_guard lock(lock_);
        const auto result = invoke(control_, member->get<std::string>(), arguments);
        if (result) {
            answer["result"] = toJson(*result);
        } else {
            answer["error"] = result.error();
        }
    }
    if (auto shown = notices_.take(); !shown.empty()) {
        answer["notices"] = shown;
    }
    auto text = dump(answer);
    if (text.size() > kMaxAnswer) {
        // The browser would drop the host and the page's selection with it.
        answer.erase("result");
        answer["error"] = "the answer of " + std::to_string(text.size()) +
                          " bytes is over the browser's limit of " + std::to_string(kMaxAnswer) +
                          " bytes";
        text = dump(answer);
    }
    return text;
}

}  // namespace quenvara::webcontrol
