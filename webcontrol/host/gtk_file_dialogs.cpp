#include "webcontrol/host/gtk_file_dialogs.h"

#include <gtk/gtk.h>

#include <iostream>

namespace quenvara::webcontrol {

bool GtkFileDialogs::ready() {
    if (!tried_) {
        tried_ = true;
        // Ask GTK for the desktop's portal; where there is none, GTK falls
        // back to its own dialog. A user's own setting is kept.
        g_setenv("GTK_USE_PORTAL", "1", FALSE);
        ready_ = gtk_init_check(nullptr, nullptr) != 0;
        if (!ready_) {
            std::cerr << "quenvara-control-host: no display for the file chooser\n";
        }
    }
    return ready_;
}

std::optional<std::string> GtkFileDialogs::choose(std::string_view title, bool folder) {
    if (!ready()) {
        notices_.messageBox(kNoDisplayText, "알림", platform::NoticeButtons::Ok,
                            platform::NoticeIcon::Stop);
        return std::nullopt;
    }
    const std::string heading(title.empty() ? std::string_view("퀜바라") : title);
    GtkFileChooserNative* dialog = gtk_file_chooser_native_new(
        heading.c_str(), nullptr,
        folder ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN, nullptr,
        nullptr);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
    std::optional<std::string> chosen;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (char* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
            chosen = path;
            g_free(path);
        }
    }
    g_object_unref(dialog);
    while (gtk_events_pending()) {
        gtk_main_iteration();
    }
    return chosen;
}

std::optional<std::string> GtkFileDialogs::browseFolder(std::string_view title) {
    return choose(title, true);
}

std::optional<std::string> GtkFileDialogs::openFile(std::string_view title) {
    return choose(title, false);
}

}  // namespace quenvara::webcontrol
