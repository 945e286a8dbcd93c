#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "webcontrol/control_value.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

enum class ValueType { None, Bool, Long, Double, Text, Variant };

// One member of the control's dispatch interface.
struct DispatchMember {
    int id;
    std::string_view name;
    bool property;
    std::vector<ValueType> arguments;  // a property: its value's type, when set
    ValueType result;
};

// The 19 members in dispatch-id order.
const std::vector<DispatchMember>& dispatchMembers();
const DispatchMember* findMember(int id);
const DispatchMember* findMember(std::string_view name);

// Calls a member with the page's arguments, checked against its types: a
// property with no argument reads, with one writes. A long accepts a whole
// number in range, a double any number.
Result<ControlValue> invoke(CQuenvaraUploadControlCtrl& control, const DispatchMember& member,
                            const std::vector<ControlValue>& arguments);
Result<ControlValue> invoke(CQuenvaraUploadControlCtrl& control, std::string_view name,
                            const std::vector<ControlValue>& arguments);

}  // namespace quenvara::webcontrol
