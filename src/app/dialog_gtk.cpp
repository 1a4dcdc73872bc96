// The settings dialog in GTK 3: built from res/settings.ui, placed in
// dialog units measured from its own font, read back into DemoSettings.
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include "app/dialog.h"
#include "setup/settings.h"
#include "setup/shell_files.h"

namespace {
// Lives while the dialog is shown.
struct DialogRecord {
    GtkBuilder* builder = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* fields[SettingsFieldCount] = {};
    GtkWidget* switches[5] = {};  // Fullscreen, Loop, 32-bit Z, vSync, Demo++
    int result = -1;              // a DialogResult once the dialog has ended
};
DialogRecord Dialog;
bool ToolkitStarted = false;  // from StartDialogToolkit to the end of the process

const char* const FieldIds[SettingsFieldCount] = {"width", "height", "colorBits", "aspect",
                                                  "brightness"};
const char* const SwitchIds[5] = {"fullscreen", "loop", "zBuffer32", "vSync", "demoPlus"};

// Compact controls at the classic 8-point size, so that the dialog-unit
// rectangles hold them.
const char DialogCss[] =
    "window.norvale-settings { font-size: 8pt; }"
    "window.norvale-settings entry { min-height: 0; padding: 0 3px; }"
    "window.norvale-settings button { min-height: 0; padding: 0 6px; }"
    "window.norvale-settings checkbutton { min-height: 0; padding: 0; }";

struct DialogBaseUnits {
    int x;  // pixels per 4 horizontal dialog units
    int y;  // pixels per 8 vertical dialog units
};

// As Windows measures a dialog font: the mean width of the 52 letters,
// rounded, and the character cell height.
DialogBaseUnits MeasureBaseUnits(GtkWidget* widget) {
    PangoLayout* layout = gtk_widget_create_pango_layout(
        widget, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int w = 0;
    int h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return DialogBaseUnits{(w / 26 + 1) / 2, h};
}

int MulDiv(int value, int numerator, int denominator) {
    return static_cast<int>((static_cast<long long>(value) * numerator + denominator / 2) /
                            denominator);
}

void PlaceInPixels(GtkFixed* fixed, GtkWidget* child, DialogBaseUnits units) {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    gtk_container_child_get(GTK_CONTAINER(fixed), child, "x", &x, "y", &y, nullptr);
    gtk_widget_get_size_request(child, &w, &h);
    gtk_fixed_move(fixed, child, MulDiv(x, units.x, 4), MulDiv(y, units.y, 8));
    gtk_widget_set_size_request(child, MulDiv(w, units.x, 4), MulDiv(h, units.y, 8));
}

// Converts every control and the client area, and makes the focus chain
// the template order (GTK would otherwise sort it by position).
void LayOutControls(GtkWidget* fixedWidget) {
    GtkFixed* fixed = GTK_FIXED(fixedWidget);
    DialogBaseUnits units = MeasureBaseUnits(fixedWidget);
    GList* children = gtk_container_get_children(GTK_CONTAINER(fixed));
    for (GList* it = children; it != nullptr; it = it->next) {
        PlaceInPixels(fixed, GTK_WIDGET(it->data), units);
    }
    int w = 0;
    int h = 0;
    gtk_widget_get_size_request(fixedWidget, &w, &h);
    gtk_widget_set_size_request(fixedWidget, MulDiv(w, units.x, 4), MulDiv(h, units.y, 8));
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(fixed), children);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(children);
}

void ApplyDialogStyle(GtkWidget* window) {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, DialogCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window),
                                              GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    gtk_style_context_add_class(gtk_widget_get_style_context(window), "norvale-settings");
}

void FillDialog() {
    ComputeDialogAspect(&DemoSettings);
    SettingsFieldTexts texts;
    FormatSettingsFields(DemoSettings, &texts);
    for (int i = 0; i < SettingsFieldCount; ++i) {
        gtk_entry_set_text(GTK_ENTRY(Dialog.fields[i]), texts.text[i]);
    }
    const bool values[5] = {DemoSettings.fullscreen, DemoSettings.loop, DemoSettings.zBuffer32,
                            DemoSettings.vSync, DemoSettings.demoPlus};
    for (int i = 0; i < 5; ++i) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Dialog.switches[i]), values[i]);
    }
}

void ShowInvalidSetting(SettingsField field) {
    GtkWidget* box =
        gtk_message_dialog_new(GTK_WINDOW(Dialog.window), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                               GTK_BUTTONS_OK, "%s", InvalidSettingMessage(field));
    gtk_window_set_title(GTK_WINDOW(box), "Norvale");
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    gtk_widget_grab_focus(Dialog.fields[field]);
}

// The close request: switches and fields back into DemoSettings. Values
// that must not reach the window are refused with a message; false then.
bool ReadBackDialog(bool reportInvalid) {
    DemoSettingsRecord s = DemoSettings;
    bool* targets[5] = {&s.fullscreen, &s.loop, &s.zBuffer32, &s.vSync, &s.demoPlus};
    for (int i = 0; i < 5; ++i) {
        *targets[i] = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Dialog.switches[i]));
    }
    SettingsFieldTexts texts;
    for (int i = 0; i < SettingsFieldCount; ++i) {
        StoreSettingsFieldText(&texts, static_cast<SettingsField>(i),
                               gtk_entry_get_text(GTK_ENTRY(Dialog.fields[i])));
    }
    ParseSettingsFields(texts, &s);
    SettingsField invalid = FindInvalidSetting(s);
    if (invalid == SettingsFieldNone) {
        DemoSettings = s;
        return true;
    }
    if (reportInvalid) {
        ShowInvalidSetting(invalid);
    }
    return false;
}

void OnRun(GtkButton*, gpointer) {
    if (ReadBackDialog(true)) {
        Dialog.result = DialogResultRun;
    }
}

void OnExit(GtkButton*, gpointer) {
    ReadBackDialog(false);
    Dialog.result = DialogResultExit;
}

// The caption's close box only reads the values; the dialog stays open.
gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer) {
    ReadBackDialog(true);
    return TRUE;
}

// Escape is Exit; Enter on a check box runs, as the default button would.
gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, gpointer) {
    if (event->keyval == GDK_KEY_Escape) {
        OnExit(nullptr, nullptr);
        return TRUE;
    }
    bool enter = event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter;
    if (enter && GTK_IS_CHECK_BUTTON(gtk_window_get_focus(GTK_WINDOW(window)))) {
        OnRun(nullptr, nullptr);
        return TRUE;
    }
    return FALSE;
}

GtkWidget* Control(const char* id) {
    return GTK_WIDGET(gtk_builder_get_object(Dialog.builder, id));
}

bool BuildDialog() {
    Dialog.builder = gtk_builder_new();
    std::string path = FindShellFile("settings.ui");
    if (path.empty() || !gtk_builder_add_from_file(Dialog.builder, path.c_str(), nullptr)) {
        return false;
    }
    Dialog.window = Control("dialog");
    for (int i = 0; i < SettingsFieldCount; ++i) {
        Dialog.fields[i] = Control(FieldIds[i]);
    }
    for (int i = 0; i < 5; ++i) {
        Dialog.switches[i] = Control(SwitchIds[i]);
    }
    return Dialog.window != nullptr;
}

void ConnectDialog() {
    g_signal_connect(Control("run"), "clicked", G_CALLBACK(OnRun), nullptr);
    g_signal_connect(Control("exit"), "clicked", G_CALLBACK(OnExit), nullptr);
    g_signal_connect(Dialog.window, "delete-event", G_CALLBACK(OnDeleteEvent), nullptr);
    g_signal_connect(Dialog.window, "key-press-event", G_CALLBACK(OnKeyPress), nullptr);
}

void ShowDialog() {
    GtkWindow* window = GTK_WINDOW(Dialog.window);
    ApplyDialogStyle(Dialog.window);
    LayOutControls(Control("fixed"));
    gtk_window_set_icon_from_file(window, FindShellFile("norvale.bmp").c_str(), nullptr);
    gtk_window_set_keep_above(window, TRUE);
    gtk_widget_grab_default(Control("run"));
    gtk_widget_grab_focus(Control("run"));  // the first tab stop, as a dialog starts
    gtk_widget_show(Dialog.window);
}

// Nothing of GTK may remain on screen when the render window opens.
void DestroyDialog() {
    gtk_widget_destroy(Dialog.window);
    g_object_unref(Dialog.builder);
    Dialog = DialogRecord{};
    while (gtk_events_pending()) {
        gtk_main_iteration();
    }
    gdk_display_sync(gdk_display_get_default());  // the unmap has reached the server
}
}  // namespace

namespace {
bool WaylandDisplay(GdkDisplay* display) {
#ifdef GDK_WINDOWING_WAYLAND
    return GDK_IS_WAYLAND_DISPLAY(display);
#else
    (void)display;
    return false;
#endif
}
}  // namespace

bool StartDialogToolkit() {
    gtk_disable_setlocale();  // "%f" must keep reading "0.50" whatever the user's locale
    ToolkitStarted = gtk_init_check(nullptr, nullptr);
    return ToolkitStarted;
}

bool ToolkitMessageBox(const char* text, const char* caption, MessageButtons buttons,
                       MessageIcon icon, MessageAnswer* answer) {
    if (!ToolkitStarted) {
        return false;
    }
    GtkMessageType type = icon == MessageIconError         ? GTK_MESSAGE_ERROR
                          : icon == MessageIconInformation ? GTK_MESSAGE_INFO
                                                           : GTK_MESSAGE_WARNING;
    bool yesNo = buttons == MessageButtonsYesNo;
    GtkWidget* box = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, type, yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(box), caption);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    // Enter answers Yes and Escape No, as the system's own boxes do.
    gtk_dialog_set_default_response(GTK_DIALOG(box), yesNo ? GTK_RESPONSE_YES : GTK_RESPONSE_OK);
    gint response = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    while (gtk_events_pending()) {
        gtk_main_iteration();
    }
    *answer = !yesNo ? MessageAnswerOk
                     : (response == GTK_RESPONSE_YES ? MessageAnswerYes : MessageAnswerNo);
    return true;
}

bool ReadPrimaryScreenSize(int* width, int* height) {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return false;
    }
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) {
        monitor = gdk_display_get_monitor(display, 0);  // no primary set (bare X servers)
    }
    if (monitor == nullptr) {
        return false;
    }
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    // In the render window's pixels: an X server's own (GDK divides them by
    // its scale); a Wayland compositor's logical ones, in which SDL makes its
    // windows, native or through Xwayland, and which the compositor scales.
    int scale = WaylandDisplay(display) ? 1 : gdk_monitor_get_scale_factor(monitor);
    *width = area.width * scale;
    *height = area.height * scale;
    return true;
}

DialogResult RunSettingsDialog() {
    if (!BuildDialog()) {
        if (Dialog.builder != nullptr) {
            g_object_unref(Dialog.builder);
        }
        Dialog = DialogRecord{};
        return DialogResultFailed;
    }
    ConnectDialog();
    FillDialog();
    ShowDialog();
    while (Dialog.result < 0) {
        gtk_main_iteration();
    }
    DialogResult result = static_cast<DialogResult>(Dialog.result);
    DestroyDialog();
    return result;
}
