// Keys for the Wayland cases: one virtual keyboard that stays connected with
// the standard "us" keymap (a keymap sent again before every key, as wtype
// does, makes GTK drop keys). Reads lines from stdin: [down |up ][alt+|shift+]KEYSYM.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

// zwp_virtual_keyboard_v1's requests, written out instead of generated.
extern const struct wl_interface VirtualKeyboard;
static const struct wl_interface* Types[] = {
    NULL, NULL, NULL, NULL, &wl_seat_interface, &VirtualKeyboard};
static const struct wl_message ManagerRequests[] = {{"create_virtual_keyboard", "on", Types + 4}};
static const struct wl_interface Manager = {
    "zwp_virtual_keyboard_manager_v1", 1, 1, ManagerRequests, 0, NULL};
static const struct wl_message KeyboardRequests[] = {
    {"keymap", "uhu", Types}, {"key", "uuu", Types}, {"modifiers", "uuuu", Types}};
const struct wl_interface VirtualKeyboard = {"zwp_virtual_keyboard_v1", 1, 3,
                                             KeyboardRequests,          0, NULL};

static struct wl_proxy* ManagerProxy;
static struct wl_seat* Seat;
static struct xkb_keymap* Keymap;

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* iface,
                   uint32_t version) {
    (void)data, (void)version;
    if (strcmp(iface, Manager.name) == 0)
        ManagerProxy = wl_registry_bind(registry, name, &Manager, 1);
    else if (strcmp(iface, "wl_seat") == 0 && Seat == NULL)
        Seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}
static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}
static const struct wl_registry_listener Listener = {Global, GlobalRemove};

static uint32_t Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// The evdev code of the first key that gives sym without modifiers.
static uint32_t KeyFor(xkb_keysym_t sym) {
    for (xkb_keycode_t k = xkb_keymap_min_keycode(Keymap); k <= xkb_keymap_max_keycode(Keymap);
         ++k) {
        const xkb_keysym_t* syms = NULL;
        if (xkb_keymap_key_get_syms_by_level(Keymap, k, 0, 0, &syms) > 0 && syms[0] == sym)
            return k - 8;
    }
    return 0;
}

static void UploadKeymap(struct wl_proxy* keyboard) {
    char* text = xkb_keymap_get_as_string(Keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    size_t size = strlen(text) + 1;
    FILE* file = tmpfile();
    fwrite(text, 1, size, file);
    fflush(file);
    wl_proxy_marshal(keyboard, 0, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fileno(file), (uint32_t)size);
    free(text);
}

int main(void) {
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL)
        return 1;
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &Listener, NULL);
    wl_display_roundtrip(display);
    if (ManagerProxy == NULL || Seat == NULL)
        return 1;
    struct xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    struct xkb_rule_names names = {NULL, NULL, "us", NULL, NULL};
    Keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    struct wl_proxy* keyboard =
        wl_proxy_marshal_constructor(ManagerProxy, 0, &VirtualKeyboard, Seat, NULL);
    UploadKeymap(keyboard);
    wl_display_roundtrip(display);
    char line[128];
    while (fgets(line, sizeof line, stdin) != NULL) {
        line[strcspn(line, "\n")] = '\0';
        char* name = line;
        int press = 1, release = 1;
        if (strncmp(name, "down ", 5) == 0)
            name += 5, release = 0;
        if (strncmp(name, "up ", 3) == 0)
            name += 3, press = 0;
        uint32_t mods = 0;
        if (strncmp(name, "alt+", 4) == 0)
            name += 4, mods = 1u << xkb_keymap_mod_get_index(Keymap, "Mod1");
        if (strncmp(name, "shift+", 6) == 0)
            name += 6, mods = 1u << xkb_keymap_mod_get_index(Keymap, "Shift");
        uint32_t key = KeyFor(xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS));
        if (key == 0)
            return fprintf(stderr, "wl_keys: no key for '%s'\n", name), 1;
        wl_proxy_marshal(keyboard, 2, mods, 0, 0, 0);
        if (press)
            wl_proxy_marshal(keyboard, 1, Now(), key, 1);
        if (release)
            wl_proxy_marshal(keyboard, 1, Now(), key, 0);
        wl_proxy_marshal(keyboard, 2, 0, 0, 0, 0);
        wl_display_roundtrip(display);
        usleep(50000);  // one key at a time reaches the client
    }
    return 0;
}
