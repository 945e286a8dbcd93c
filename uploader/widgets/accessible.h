#pragma once

#include <wx/string.h>
#include <wx/window.h>

namespace quenvara::widgets::accessible {

enum class Role { PushButton, CheckBox, ProgressBar };

// Our controls are drawn by us, so the toolkit's accessible object for them
// says nothing; this gives the control's widget one that tells assistive
// technologies what it is, what it is called and what it holds.
void expose(wxWindow& window, Role role);
// For a control that only decorates: assistive technologies pass over it.
void hide(wxWindow& window);
void setName(wxWindow& window, const wxString& name);
void setChecked(wxWindow& window, bool checked);
void setValue(wxWindow& window, double lower, double upper, double value, const wxString& text);

}  // namespace quenvara::widgets::accessible
