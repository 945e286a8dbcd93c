#include "uploader/widgets/accessible.h"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

#include <map>

namespace quenvara::widgets::accessible {

namespace {

// The accessible object of one of our controls: the toolkit's widget
// accessible (focus, geometry, parent) plus the check state and the value
// that only we know.
struct SkinAccessible {
    GtkWidgetAccessible parent;
    gboolean checkable;
    gboolean checked;
    gdouble lower;
    gdouble upper;
    gdouble value;
    gchar* text;
};

struct SkinAccessibleClass {
    GtkWidgetAccessibleClass parent;
};

gpointer parentClass = nullptr;

SkinAccessible* self(gpointer object) {
    return static_cast<SkinAccessible*>(object);
}

AtkStateSet* refStateSet(AtkObject* object) {
    AtkStateSet* states = ATK_OBJECT_CLASS(parentClass)->ref_state_set(object);
    if (self(object)->checkable) {
        atk_state_set_add_state(states, ATK_STATE_CHECKABLE);
        if (self(object)->checked) {
            atk_state_set_add_state(states, ATK_STATE_CHECKED);
        }
    }
    return states;
}

void finalize(GObject* object) {
    g_free(self(object)->text);
    G_OBJECT_CLASS(parentClass)->finalize(object);
}

void classInit(gpointer klass, gpointer) {
    parentClass = g_type_class_peek_parent(klass);
    ATK_OBJECT_CLASS(klass)->ref_state_set = refStateSet;
    G_OBJECT_CLASS(klass)->finalize = finalize;
}

void valueAndText(AtkValue* object, gdouble* value, gchar** text) {
    if (value != nullptr) {
        *value = self(object)->value;
    }
    if (text != nullptr) {
        *text = g_strdup(self(object)->text);
    }
}

AtkRange* range(AtkValue* object) {
    return atk_range_new(self(object)->lower, self(object)->upper, nullptr);
}

void doubleValue(GValue* out, gdouble value) {
    g_value_init(out, G_TYPE_DOUBLE);
    g_value_set_double(out, value);
}

void valueInit(gpointer iface, gpointer) {
    auto* value = static_cast<AtkValueIface*>(iface);
    value->get_value_and_text = valueAndText;
    value->get_range = range;
    // Older readers still ask through the single-value calls.
    value->get_current_value = [](AtkValue* object, GValue* out) {
        doubleValue(out, self(object)->value);
    };
    value->get_minimum_value = [](AtkValue* object, GValue* out) {
        doubleValue(out, self(object)->lower);
    };
    value->get_maximum_value = [](AtkValue* object, GValue* out) {
        doubleValue(out, self(object)->upper);
    };
}

GType skinAccessibleType() {
    static const GType type = [] {
        GTypeInfo info{};
        info.class_size = sizeof(SkinAccessibleClass);
        info.class_init = classInit;
        info.instance_size = sizeof(SkinAccessible);
        const GType registered = g_type_register_static(
            gtk_widget_accessible_get_type(), "QuenvaraSkinAccessible", &info, GTypeFlags{});
        GInterfaceInfo value{};
        value.interface_init = valueInit;
        g_type_add_interface_static(registered, ATK_TYPE_VALUE, &value);
        return registered;
    }();
    return type;
}

const char* const kQuark = "quenvara-skin-accessible";

using GetAccessible = AtkObject* (*)(GtkWidget*);

// The toolkit's own answer, by widget class.
std::map<GType, GetAccessible>& toolkitGetAccessible() {
    static std::map<GType, GetAccessible> originals;
    return originals;
}

// The widget class is shared with every other window of the toolkit, so only
// widgets that carry our object are answered here.
AtkObject* getAccessible(GtkWidget* widget) {
    if (auto* own = static_cast<AtkObject*>(g_object_get_data(G_OBJECT(widget), kQuark))) {
        return own;
    }
    return toolkitGetAccessible().at(G_TYPE_FROM_INSTANCE(widget))(widget);
}

void release(gpointer object) {
    gtk_accessible_set_widget(GTK_ACCESSIBLE(object), nullptr);
    g_object_unref(object);
}

GtkWidget* widgetOf(wxWindow& window) {
    return GTK_WIDGET(window.GetHandle());
}

SkinAccessible* find(wxWindow& window) {
    return static_cast<SkinAccessible*>(g_object_get_data(G_OBJECT(widgetOf(window)), kQuark));
}

}  // namespace

void expose(wxWindow& window, Role role) {
    GtkWidget* widget = widgetOf(window);
    auto* klass = GTK_WIDGET_GET_CLASS(widget);
    if (klass->get_accessible != getAccessible) {
        toolkitGetAccessible()[G_TYPE_FROM_INSTANCE(widget)] = klass->get_accessible;
        klass->get_accessible = getAccessible;
    }
    auto* object = ATK_OBJECT(g_object_new(skinAccessibleType(), "widget", widget, nullptr));
    atk_object_initialize(object, widget);
    switch (role) {
        case Role::PushButton:
            atk_object_set_role(object, ATK_ROLE_PUSH_BUTTON);
            break;
        case Role::CheckBox:
            atk_object_set_role(object, ATK_ROLE_CHECK_BOX);
            self(object)->checkable = TRUE;
            break;
        case Role::ProgressBar:
            atk_object_set_role(object, ATK_ROLE_PROGRESS_BAR);
            break;
    }
    g_object_set_data_full(G_OBJECT(widget), kQuark, object, release);
}

void hide(wxWindow& window) {
    if (auto* object = find(window)) {
        atk_object_set_role(ATK_OBJECT(object), ATK_ROLE_REDUNDANT_OBJECT);
    }
}

void setName(wxWindow& window, const wxString& name) {
    if (auto* object = find(window)) {
        const wxScopedCharBuffer utf8 = name.utf8_str();
        if (g_strcmp0(atk_object_get_name(ATK_OBJECT(object)), utf8.data()) != 0) {
            atk_object_set_name(ATK_OBJECT(object), utf8.data());
        }
    }
}

void setChecked(wxWindow& window, bool checked) {
    if (auto* object = find(window); object != nullptr && object->checked != checked) {
        object->checked = checked;
        atk_object_notify_state_change(ATK_OBJECT(object), ATK_STATE_CHECKED, checked);
    }
}

void setValue(wxWindow& window, double lower, double upper, double value, const wxString& text) {
    auto* object = find(window);
    if (object == nullptr) {
        return;
    }
    object->lower = lower;
    object->upper = upper;
    const wxScopedCharBuffer utf8 = text.utf8_str();
    const bool changed = object->value != value || g_strcmp0(object->text, utf8.data()) != 0;
    object->value = value;
    g_free(object->text);
    object->text = g_strdup(utf8.data());
    setName(window, text);
    if (changed) {
        g_signal_emit_by_name(object, "value-changed", value, object->text);
    }
}

}  // namespace quenvara::widgets::accessible
