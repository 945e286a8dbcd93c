#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;

namespace quenvara::uploader::wxui {

// The tray icon as an item on the session bus, for desktops that show such
// items rather than the old X11 tray (GNOME with its extension, KDE, and
// every Wayland desktop): the icon, its tip and its menu, published through
// the item and menu interfaces their panels read.
class StatusNotifierTray final {
  public:
    // One picture: width × height pixels, four bytes each, alpha, red,
    // green, blue.
    struct Pixmap {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> argb;
    };
    // A menu line: `command` 0 is a separator.
    struct MenuItem {
        int command = 0;
        std::string label;
    };

    // Whether something on the session bus collects such items.
    static bool hostPresent();
    // Null when nothing does.
    static std::unique_ptr<StatusNotifierTray> create(std::string title,
                                                      std::vector<MenuItem> menu);
    ~StatusNotifierTray();
    StatusNotifierTray(const StatusNotifierTray&) = delete;
    StatusNotifierTray& operator=(const StatusNotifierTray&) = delete;

    // A chosen menu command, and the icon's primary click.
    void connect(std::function<void(int)> onCommand, std::function<void()> onActivate);
    // Publishes the item (the first time) or changes its picture and tip.
    void show(Pixmap icon, const std::string& tip);
    void hide();
    bool registered() const { return registered_; }

  private:
    StatusNotifierTray(GDBusConnection* bus, std::string title, std::vector<MenuItem> menu);
    bool exportObjects();
    void registerWithWatcher();
    void emit(const char* path, const char* interface, const char* signal);

    struct Glue;
    friend struct Glue;

    GDBusConnection* bus_;
    std::string title_;
    std::vector<MenuItem> menu_;
    std::string busName_;
    std::vector<unsigned> objectIds_;
    unsigned watchId_ = 0;
    std::function<void(int)> onCommand_;
    std::function<void()> onActivate_;
    Pixmap icon_;
    std::string tip_;
    bool wanted_ = false;
    bool ownsName_ = false;
    bool registered_ = false;
    // Bumped on every hide, so a registration answered after it is ignored.
    unsigned generation_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quenvara::uploader::wxui
