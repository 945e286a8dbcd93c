#pragma once

// What the window asks of the desktop it runs on, in Windows' own ways or in
// the free desktops': the notification-area icon, the lock against sleep,
// and whether a popup of ours may place itself in a corner.
#if defined(__WXMSW__)
#include "uploader/frontend/wx/msw_sleep_inhibitor.h"
#include "uploader/frontend/wx/msw_tray.h"
#else
#include <wx/utils.h>

#include "uploader/frontend/wx/sleep_inhibitor.h"
#include "uploader/frontend/wx/wx_tray.h"
#endif

namespace quenvara::uploader::wxui {

#if defined(__WXMSW__)
inline bool cornerPopupPlaceable() {
    return true;
}
#else
// Wayland places no skinned popup in a corner: the desktop's notification
// service shows the text instead.
inline bool cornerPopupPlaceable() {
    return wxGetDisplayInfo().type == wxDisplayX11;
}
#endif

}  // namespace quenvara::uploader::wxui
