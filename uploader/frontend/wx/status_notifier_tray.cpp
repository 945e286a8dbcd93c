#include "uploader/frontend/wx/status_notifier_tray.h"

#include <gio/gio.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace quenvara::uploader::wxui {

namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr const char* kMenuPath = "/MenuBar";
constexpr guint32 kDoNotQueue = 4;

constexpr const char* kIntrospection = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
  <interface name="com.canonical.dbusmenu">
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
    <method name="GetLayout">
      <arg name="parentId" type="i" direction="in"/>
      <arg name="recursionDepth" type="i" direction="in"/>
      <arg name="propertyNames" type="as" direction="in"/>
      <arg name="revision" type="u" direction="out"/>
      <arg name="layout" type="(ia{sv}av)" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg name="ids" type="ai" direction="in"/>
      <arg name="propertyNames" type="as" direction="in"/>
      <arg name="properties" type="a(ia{sv})" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg name="id" type="i" direction="in"/>
      <arg name="name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="Event">
      <arg name="id" type="i" direction="in"/>
      <arg name="eventId" type="s" direction="in"/>
      <arg name="data" type="v" direction="in"/>
      <arg name="timestamp" type="u" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg name="events" type="a(isvu)" direction="in"/>
      <arg name="idErrors" type="ai" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg name="id" type="i" direction="in"/>
      <arg name="needUpdate" type="b" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg name="ids" type="ai" direction="in"/>
      <arg name="updatesNeeded" type="ai" direction="out"/>
      <arg name="idErrors" type="ai" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg name="updatedProps" type="a(ia{sv})"/>
      <arg name="removedProps" type="a(ias)"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg name="revision" type="u"/>
      <arg name="parent" type="i"/>
    </signal>
    <signal name="ItemActivationRequested">
      <arg name="id" type="i"/>
      <arg name="timestamp" type="u"/>
    </signal>
  </interface>
</node>)xml";

// Asking GLib for the session bus with none configured starts one of its
// own on X11; a program with no session bus has no item host either.
bool sessionBusConfigured() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    return runtime != nullptr && *runtime != 0 &&
           std::filesystem::exists(std::filesystem::path(runtime) / "bus", error);
}

GVariant* pixmaps(const StatusNotifierTray::Pixmap& icon) {
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(iiay)"));
    if (icon.width > 0 && icon.height > 0) {
        GVariant* bytes =
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, icon.argb.data(), icon.argb.size(), 1);
        g_variant_builder_add(&list, "(ii@ay)", icon.width, icon.height, bytes);
    }
    return g_variant_builder_end(&list);
}

bool wanted(GVariant* names, const char* name) {
    if (names == nullptr || g_variant_n_children(names) == 0) {
        return true;
    }
    const gchar** list = g_variant_get_strv(names, nullptr);
    bool found = false;
    for (const gchar** n = list; *n != nullptr && !found; ++n) {
        found = g_strcmp0(*n, name) == 0;
    }
    g_free(list);
    return found;
}

}  // namespace

// The C callbacks GDBus calls, with the item behind their user data.
struct StatusNotifierTray::Glue {
    static int menuCount(const StatusNotifierTray& self) {
        return static_cast<int>(self.menu_.size());
    }

    // The menu's lines are ids 1…n under the root, id 0.
    static GVariant* itemProperties(const StatusNotifierTray& self, int id, GVariant* names) {
        GVariantBuilder props;
        g_variant_builder_init(&props, G_VARIANT_TYPE("a{sv}"));
        if (id == 0) {
            if (wanted(names, "children-display")) {
                g_variant_builder_add(&props, "{sv}", "children-display",
                                      g_variant_new_string("submenu"));
            }
            return g_variant_builder_end(&props);
        }
        const MenuItem& item = self.menu_[static_cast<std::size_t>(id - 1)];
        if (item.command == 0) {
            if (wanted(names, "type")) {
                g_variant_builder_add(&props, "{sv}", "type", g_variant_new_string("separator"));
            }
        } else {
            if (wanted(names, "label")) {
                g_variant_builder_add(&props, "{sv}", "label",
                                      g_variant_new_string(item.label.c_str()));
            }
            if (wanted(names, "enabled")) {
                g_variant_builder_add(&props, "{sv}", "enabled", g_variant_new_boolean(TRUE));
            }
        }
        if (wanted(names, "visible")) {
            g_variant_builder_add(&props, "{sv}", "visible", g_variant_new_boolean(TRUE));
        }
        return g_variant_builder_end(&props);
    }

    static GVariant* layout(const StatusNotifierTray& self, int id, int depth, GVariant* names) {
        GVariantBuilder children;
        g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
        if (id == 0 && depth != 0) {
            for (int child = 1; child <= menuCount(self); ++child) {
                g_variant_builder_add(&children, "v", layout(self, child, depth - 1, names));
            }
        }
        return g_variant_new("(i@a{sv}@av)", id, itemProperties(self, id, names),
                             g_variant_builder_end(&children));
    }

    static bool validId(const StatusNotifierTray& self, int id) {
        return id >= 0 && id <= menuCount(self);
    }

    static void clicked(StatusNotifierTray& self, int id) {
        if (id > 0 && id <= menuCount(self)) {
            const int command = self.menu_[static_cast<std::size_t>(id - 1)].command;
            if (command != 0 && self.onCommand_) {
                self.onCommand_(command);
            }
        }
    }

    static void menuCall(StatusNotifierTray& self, const gchar* method, GVariant* args,
                         GDBusMethodInvocation* call) {
        if (g_strcmp0(method, "GetLayout") == 0) {
            gint32 parent = 0;
            gint32 depth = -1;
            GVariant* names = nullptr;
            g_variant_get(args, "(ii@as)", &parent, &depth, &names);
            if (!validId(self, parent)) {
                g_variant_unref(names);
                g_dbus_method_invocation_return_dbus_error(call, "com.canonical.dbusmenu.Error",
                                                           "no such menu item");
                return;
            }
            GVariant* tree = layout(self, parent, depth, names);
            g_variant_unref(names);
            g_dbus_method_invocation_return_value(call, g_variant_new("(u@(ia{sv}av))", 1u, tree));
        } else if (g_strcmp0(method, "GetGroupProperties") == 0) {
            GVariant* ids = nullptr;
            GVariant* names = nullptr;
            g_variant_get(args, "(@ai@as)", &ids, &names);
            GVariantBuilder out;
            g_variant_builder_init(&out, G_VARIANT_TYPE("a(ia{sv})"));
            gsize count = 0;
            const auto* list =
                static_cast<const gint32*>(g_variant_get_fixed_array(ids, &count, sizeof(gint32)));
            for (gsize i = 0; i < count; ++i) {
                if (validId(self, list[i])) {
                    g_variant_builder_add(&out, "(i@a{sv})", list[i],
                                          itemProperties(self, list[i], names));
                }
            }
            g_variant_unref(ids);
            g_variant_unref(names);
            g_dbus_method_invocation_return_value(
                call, g_variant_new("(@a(ia{sv}))", g_variant_builder_end(&out)));
        } else if (g_strcmp0(method, "GetProperty") == 0) {
            gint32 id = 0;
            const gchar* name = nullptr;
            g_variant_get(args, "(i&s)", &id, &name);
            GVariant* props =
                validId(self, id) ? g_variant_ref_sink(itemProperties(self, id, nullptr)) : nullptr;
            GVariant* value = props ? g_variant_lookup_value(props, name, nullptr) : nullptr;
            if (props) {
                g_variant_unref(props);
            }
            if (value == nullptr) {
                g_dbus_method_invocation_return_dbus_error(call, "com.canonical.dbusmenu.Error",
                                                           "no such property");
                return;
            }
            g_dbus_method_invocation_return_value(call, g_variant_new("(v)", value));
            g_variant_unref(value);
        } else if (g_strcmp0(method, "Event") == 0) {
            gint32 id = 0;
            const gchar* event = nullptr;
            g_variant_get(args, "(i&svu)", &id, &event, nullptr, nullptr);
            const bool click = g_strcmp0(event, "clicked") == 0;
            // Answered first: a command may open a modal box.
            g_dbus_method_invocation_return_value(call, nullptr);
            if (click) {
                clicked(self, id);
            }
        } else if (g_strcmp0(method, "EventGroup") == 0) {
            GVariantIter* events = nullptr;
            g_variant_get(args, "(a(isvu))", &events);
            std::vector<int> clicks;
            gint32 id = 0;
            const gchar* event = nullptr;
            while (g_variant_iter_next(events, "(i&svu)", &id, &event, nullptr, nullptr)) {
                if (g_strcmp0(event, "clicked") == 0) {
                    clicks.push_back(id);
                }
            }
            g_variant_iter_free(events);
            g_dbus_method_invocation_return_value(call, g_variant_new("(ai)", nullptr));
            for (int clickedId : clicks) {
                clicked(self, clickedId);
            }
        } else if (g_strcmp0(method, "AboutToShow") == 0) {
            g_dbus_method_invocation_return_value(call, g_variant_new("(b)", FALSE));
        } else if (g_strcmp0(method, "AboutToShowGroup") == 0) {
            g_dbus_method_invocation_return_value(call, g_variant_new("(aiai)", nullptr, nullptr));
        } else {
            g_dbus_method_invocation_return_dbus_error(
                call, "org.freedesktop.DBus.Error.UnknownMethod", method);
        }
    }

    static void itemCall(StatusNotifierTray& self, const gchar* method,
                         GDBusMethodInvocation* call) {
        g_dbus_method_invocation_return_value(call, nullptr);
        if (g_strcmp0(method, "Activate") == 0 && self.onActivate_) {
            self.onActivate_();
        }
    }

    static void onMethod(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                         const gchar* method, GVariant* args, GDBusMethodInvocation* call,
                         gpointer data) {
        auto& self = *static_cast<StatusNotifierTray*>(data);
        if (g_strcmp0(interface, kMenuInterface) == 0) {
            menuCall(self, method, args, call);
        } else {
            itemCall(self, method, call);
        }
    }

    static GVariant* itemProperty(const StatusNotifierTray& self, const gchar* name) {
        const auto is = [name](const char* n) { return g_strcmp0(name, n) == 0; };
        if (is("Category")) {
            return g_variant_new_string("ApplicationStatus");
        }
        if (is("Id")) {
            return g_variant_new_string("QuenvaraUpLoad");
        }
        if (is("Title")) {
            return g_variant_new_string(self.title_.c_str());
        }
        if (is("Status")) {
            return g_variant_new_string("Active");
        }
        if (is("WindowId")) {
            return g_variant_new_int32(0);
        }
        if (is("IconPixmap")) {
            return pixmaps(self.icon_);
        }
        if (is("OverlayIconPixmap") || is("AttentionIconPixmap")) {
            return pixmaps({});
        }
        if (is("ToolTip")) {
            // The tip is what the old tray showed on hover: the item's
            // heading, with nothing under it.
            const std::string& heading = self.tip_.empty() ? self.title_ : self.tip_;
            return g_variant_new("(s@a(iiay)ss)", "", pixmaps({}), heading.c_str(), "");
        }
        if (is("ItemIsMenu")) {
            return g_variant_new_boolean(FALSE);
        }
        if (is("Menu")) {
            return g_variant_new_object_path(kMenuPath);
        }
        return g_variant_new_string("");
    }

    static GVariant* menuProperty(const gchar* name) {
        if (g_strcmp0(name, "Version") == 0) {
            return g_variant_new_uint32(3);
        }
        if (g_strcmp0(name, "IconThemePath") == 0) {
            return g_variant_new_strv(nullptr, 0);
        }
        if (g_strcmp0(name, "TextDirection") == 0) {
            return g_variant_new_string("ltr");
        }
        return g_variant_new_string("normal");
    }

    static GVariant* onProperty(GDBusConnection*, const gchar*, const gchar*,
                                const gchar* interface, const gchar* name, GError**,
                                gpointer data) {
        const auto& self = *static_cast<const StatusNotifierTray*>(data);
        return g_strcmp0(interface, kMenuInterface) == 0 ? menuProperty(name)
                                                         : itemProperty(self, name);
    }

    // A watcher that starts (again) after the item was published has not
    // heard of it.
    static void onWatcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer data) {
        auto& self = *static_cast<StatusNotifierTray*>(data);
        if (self.wanted_ && self.ownsName_) {
            self.registerWithWatcher();
        }
    }

    static void onWatcherVanished(GDBusConnection*, const gchar*, gpointer data) {
        static_cast<StatusNotifierTray*>(data)->registered_ = false;
    }

    struct Pending {
        std::weak_ptr<bool> alive;
        StatusNotifierTray* self;
        unsigned generation;
    };

    static void onRegistered(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
        if (error != nullptr) {
            g_error_free(error);
        }
        if (!pending->alive.expired() && pending->self->generation_ == pending->generation) {
            pending->self->registered_ = reply != nullptr;
        }
    }
};

namespace {

// A connection of our own: the shared one would end the program when the
// bus goes away.
GDBusConnection* openSessionBus() {
    if (!sessionBusConfigured()) {
        return nullptr;
    }
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (address == nullptr) {
        return nullptr;
    }
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    return bus;
}

bool watcherOn(GDBusConnection* bus) {
    GVariant* owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kWatcherName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    gboolean host = FALSE;
    if (owned != nullptr) {
        g_variant_get(owned, "(b)", &host);
        g_variant_unref(owned);
    }
    return host != FALSE;
}

void closeBus(GDBusConnection* bus) {
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}

}  // namespace

bool StatusNotifierTray::hostPresent() {
    GDBusConnection* bus = openSessionBus();
    if (bus == nullptr) {
        return false;
    }
    const bool present = watcherOn(bus);
    closeBus(bus);
    return present;
}

std::unique_ptr<StatusNotifierTray> StatusNotifierTray::create(std::string title,
                                                               std::vector<MenuItem> menu) {
    GDBusConnection* bus = openSessionBus();
    if (bus == nullptr) {
        return nullptr;
    }
    if (!watcherOn(bus)) {
        closeBus(bus);
        return nullptr;
    }
    std::unique_ptr<StatusNotifierTray> tray(
        new StatusNotifierTray(bus, std::move(title), std::move(menu)));
    if (!tray->exportObjects()) {
        return nullptr;
    }
    return tray;
}

StatusNotifierTray::StatusNotifierTray(GDBusConnection* bus, std::string title,
                                       std::vector<MenuItem> menu)
    : bus_(bus),
      title_(std::move(title)),
      menu_(std::move(menu)),
      busName_("org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1") {}

StatusNotifierTray::~StatusNotifierTray() {
    hide();
    if (watchId_ != 0) {
        g_bus_unwatch_name(watchId_);
    }
    for (unsigned id : objectIds_) {
        g_dbus_connection_unregister_object(bus_, id);
    }
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    closeBus(bus_);
}

bool StatusNotifierTray::exportObjects() {
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, &error);
    if (node == nullptr) {
        g_error_free(error);
        return false;
    }
    static const GDBusInterfaceVTable vtable = {&Glue::onMethod, &Glue::onProperty, nullptr, {}};
    for (const auto& [path, interface] :
         {std::pair{kItemPath, kItemInterface}, std::pair{kMenuPath, kMenuInterface}}) {
        const unsigned id = g_dbus_connection_register_object(
            bus_, path, g_dbus_node_info_lookup_interface(node, interface), &vtable, this, nullptr,
            &error);
        if (id == 0) {
            g_error_free(error);
            g_dbus_node_info_unref(node);
            return false;
        }
        objectIds_.push_back(id);
    }
    g_dbus_node_info_unref(node);
    watchId_ = g_bus_watch_name_on_connection(bus_, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                              &Glue::onWatcherAppeared, &Glue::onWatcherVanished,
                                              this, nullptr);
    return true;
}

void StatusNotifierTray::connect(std::function<void(int)> onCommand,
                                 std::function<void()> onActivate) {
    onCommand_ = std::move(onCommand);
    onActivate_ = std::move(onActivate);
}

void StatusNotifierTray::show(Pixmap icon, const std::string& tip) {
    const bool newIcon =
        icon.width != icon_.width || icon.height != icon_.height || icon.argb != icon_.argb;
    const bool newTip = tip != tip_;
    icon_ = std::move(icon);
    tip_ = tip;
    if (!wanted_) {
        wanted_ = true;
        GVariant* reply = g_dbus_connection_call_sync(
            bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", busName_.c_str(), kDoNotQueue),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        ownsName_ = reply != nullptr;
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
        if (ownsName_) {
            registerWithWatcher();
        }
        return;
    }
    if (newIcon) {
        emit(kItemPath, kItemInterface, "NewIcon");
    }
    if (newTip) {
        emit(kItemPath, kItemInterface, "NewToolTip");
    }
}

void StatusNotifierTray::hide() {
    if (!wanted_) {
        return;
    }
    wanted_ = false;
    registered_ = false;
    ++generation_;
    // The watcher forgets an item whose name goes away.
    if (ownsName_) {
        GVariant* reply = g_dbus_connection_call_sync(
            bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "ReleaseName", g_variant_new("(s)", busName_.c_str()), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
        ownsName_ = false;
    }
}

void StatusNotifierTray::registerWithWatcher() {
    g_dbus_connection_call(bus_, kWatcherName, kWatcherPath, kWatcherName,
                           "RegisterStatusNotifierItem", g_variant_new("(s)", busName_.c_str()),
                           nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &Glue::onRegistered,
                           new Glue::Pending{alive_, this, generation_});
}

void StatusNotifierTray::emit(const char* path, const char* interface, const char* signal) {
    g_dbus_connection_emit_signal(bus_, nullptr, path, interface, signal, nullptr, nullptr);
}

}  // namespace quenvara::uploader::wxui
