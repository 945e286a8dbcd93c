#include <wx/access.h>

#include "uploader/widgets/accessible.h"

namespace quenvara::widgets::accessible {

namespace {

// Our controls' object for Active Accessibility: role, name, check state
// and value are ours; focus, geometry and the rest stay the system's
// standard ones (wxACC_NOT_IMPLEMENTED hands a question on to them).
class SkinAccessible final : public wxAccessible {
  public:
    SkinAccessible(wxWindow& window, Role role) : wxAccessible(&window), role_(role) {}

    wxAccStatus GetRole(int child, wxAccRole* role) override {
        if (child != wxACC_SELF) {
            return wxACC_NOT_IMPLEMENTED;
        }
        *role = hidden_                     ? wxROLE_NONE
                : role_ == Role::PushButton ? wxROLE_SYSTEM_PUSHBUTTON
                : role_ == Role::CheckBox   ? wxROLE_SYSTEM_CHECKBUTTON
                                            : wxROLE_SYSTEM_PROGRESSBAR;
        return wxACC_OK;
    }
    wxAccStatus GetName(int child, wxString* name) override {
        if (child != wxACC_SELF || name_.empty()) {
            return wxACC_NOT_IMPLEMENTED;
        }
        *name = name_;
        return wxACC_OK;
    }
    wxAccStatus GetValue(int child, wxString* value) override {
        if (child != wxACC_SELF || role_ != Role::ProgressBar) {
            return wxACC_NOT_IMPLEMENTED;
        }
        *value = value_;
        return wxACC_OK;
    }
    wxAccStatus GetState(int child, long* state) override {
        if (child != wxACC_SELF) {
            return wxACC_NOT_IMPLEMENTED;
        }
        wxWindow* window = GetWindow();
        *state = 0;
        if (!window->IsShown() || hidden_) {
            *state |= wxACC_STATE_SYSTEM_INVISIBLE;
        }
        if (!window->IsEnabled()) {
            *state |= wxACC_STATE_SYSTEM_UNAVAILABLE;
        }
        if (role_ != Role::ProgressBar && window->IsEnabled()) {
            *state |= wxACC_STATE_SYSTEM_FOCUSABLE;
            if (window->HasFocus()) {
                *state |= wxACC_STATE_SYSTEM_FOCUSED;
            }
        }
        if (role_ == Role::CheckBox && checked_) {
            *state |= wxACC_STATE_SYSTEM_CHECKED;
        }
        return wxACC_OK;
    }

    void hide() { hidden_ = true; }
    void setName(const wxString& name) { update(name_, name, wxACC_EVENT_OBJECT_NAMECHANGE); }
    void setValue(const wxString& value) { update(value_, value, wxACC_EVENT_OBJECT_VALUECHANGE); }
    void setChecked(bool checked) {
        if (checked_ != checked) {
            checked_ = checked;
            NotifyEvent(wxACC_EVENT_OBJECT_STATECHANGE, GetWindow(), wxOBJID_CLIENT, wxACC_SELF);
        }
    }

  private:
    void update(wxString& field, const wxString& now, int event) {
        if (field != now) {
            field = now;
            NotifyEvent(event, GetWindow(), wxOBJID_CLIENT, wxACC_SELF);
        }
    }

    Role role_;
    bool hidden_ = false;
    bool checked_ = false;
    wxString name_;
    wxString value_;
};

SkinAccessible* find(wxWindow& window) {
    return dynamic_cast<SkinAccessible*>(window.GetAccessible());
}

}  // namespace

void expose(wxWindow& window, Role role) {
    window.SetAccessible(new SkinAccessible(window, role));
}

void hide(wxWindow& window) {
    if (auto* object = find(window)) {
        object->hide();
    }
}

void setName(wxWindow& window, const wxString& name) {
    if (auto* object = find(window)) {
        object->setName(name);
    }
}

void setChecked(wxWindow& window, bool checked) {
    if (auto* object = find(window)) {
        object->setChecked(checked);
    }
}

void setValue(wxWindow& window, double, double, double, const wxString& text) {
    if (auto* object = find(window)) {
        object->setValue(text);
        object->setName(text);
    }
}

}  // namespace quenvara::widgets::accessible
