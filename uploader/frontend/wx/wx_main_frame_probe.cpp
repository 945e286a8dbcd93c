#include "uploader/frontend/wx/wx_main_frame.h"

#include <wx/dcclient.h>

#include <sstream>

#include "uploader/app/upload_main_window.h"

namespace quenvara::uploader::wxui {

namespace {

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

}  // namespace

std::vector<std::string> WxMainFrame::describe() const {
    std::vector<std::string> lines;
    auto quoted = [](const wxString& s) { return "\"" + s.utf8_string() + "\""; };
    std::ostringstream head;
    const wxRect rect = GetScreenRect();
    head << "window shown=" << IsShown() << " iconized=" << IsIconized()
         << " maximized=" << IsMaximized() << " rect=" << rect.x << "," << rect.y << ","
         << rect.width << "x" << rect.height;
    lines.push_back(head.str());
    const wxRect room = captionRoom();
    wxClientDC measure(const_cast<WxMainFrame*>(this));
    measure.SetFont(captionFont_);
    const wxSize extent = measure.GetTextExtent(u8(kWindowCaption));
    lines.push_back("caption " + quoted(u8(kWindowCaption)) + " rect=" + std::to_string(room.x) +
                    "," + std::to_string(room.y) + "," + std::to_string(extent.x) + "x" +
                    std::to_string(extent.y) + " room=" + std::to_string(room.width));
    for (const auto& [id, label] : statics_) {
        lines.push_back("static " + std::to_string(id) + " " + quoted(label->GetLabel()));
    }
    lines.push_back("path " + quoted(pathBox_->GetValue()));
    lines.push_back("bar 1002 text=" + quoted(overall_->shownText()) +
                    " width=" + std::to_string(overall_->drawnBarWidth()));
    for (const auto& [id, box] : checks_) {
        lines.push_back("check " + std::to_string(id) + " state=" + std::to_string(box->state()) +
                        " enabled=" + std::to_string(box->IsEnabled()) + " " +
                        quoted(box->GetLabel()));
    }
    for (const auto& [id, button] : buttons_) {
        std::string look;
        if (auto it = looks_.find(id); it != looks_.end()) {
            look = it->second == ButtonLook::Stop ? " look=stop" : " look=start";
        }
        const wxRect r = button->GetRect();
        lines.push_back("button " + std::to_string(id) +
                        " enabled=" + std::to_string(button->IsEnabled()) + look +
                        " rect=" + std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                        std::to_string(r.width) + "x" + std::to_string(r.height));
    }
    for (int c = 0; c < listCtrl_->GetColumnCount(); ++c) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT);
        listCtrl_->GetColumn(c, column);
        const wxListColumnFormat align = column.GetAlign();
        lines.push_back("heading " + std::to_string(c) + " " + quoted(column.GetText()) +
                        " align=" +
                        (align == wxLIST_FORMAT_CENTRE  ? "centre"
                         : align == wxLIST_FORMAT_RIGHT ? "right"
                                                        : "left") +
                        " width=" + std::to_string(listCtrl_->GetColumnWidth(c)));
    }
    const wxRect list = listCtrl_->GetRect();
    lines.push_back("list rect=" + std::to_string(list.x) + "," + std::to_string(list.y) + "," +
                    std::to_string(list.width) + "x" + std::to_string(list.height));
    for (int r = 0; r < listCtrl_->GetItemCount(); ++r) {
        const wxColour c = listCtrl_->GetItemTextColour(r);
        std::string line = "row " + std::to_string(r) +
                           " colour=" + std::to_string(c.IsOk() ? c.Red() : -1) + "," +
                           std::to_string(c.IsOk() ? c.Green() : -1) + "," +
                           std::to_string(c.IsOk() ? c.Blue() : -1);
        for (int col = 0; col < CFileListView::kColumnCount; ++col) {
            line += " | " + listCtrl_->GetItemText(r, col).utf8_string();
        }
        wxListItem location;
        location.SetId(r);
        location.SetColumn(CFileListView::kLocation);
        location.SetMask(wxLIST_MASK_IMAGE);
        listCtrl_->GetItem(location);
        line += " | location-image=" + std::to_string(location.GetImage());
        lines.push_back(line);
    }
    std::string colours;
    for (const wxColour& c : rowBar_->colours()) {
        colours += (colours.empty() ? "" : "/") + std::to_string(c.Red()) + "," +
                   std::to_string(c.Green()) + "," + std::to_string(c.Blue());
    }
    lines.push_back("rowbar shown=" + std::to_string(rowBar_->IsShown()) +
                    " text=" + quoted(rowBar_->shownText()) + " colours=" + colours +
                    " row=" + std::to_string(barRow_));
    return lines;
}

}  // namespace quenvara::uploader::wxui
