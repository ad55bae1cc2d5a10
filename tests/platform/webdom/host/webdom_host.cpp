// The view side of the live page's tests: a window with a web view whose
// web process loads only the test extension. Loads one page, prints each
// "report" of the extension as a line, presses keys when asked, and ends at
// "done" (exit 0) or after a time limit (exit 2).
//   webdom_host EXTENSION_DIR URL
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace {

int status = 2;

// A key press and release as the window system would deliver them.
void SendKey(GtkWidget* view, guint keyval, GdkModifierType state) {
  GdkDisplay* display = gtk_widget_get_display(view);
  GdkSeat* seat = gdk_display_get_default_seat(display);
  GdkKeymapKey* keys = nullptr;
  gint n = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &n);
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    event->key.state = state;
    event->key.hardware_keycode = n > 0 ? keys[0].keycode : 0;
    gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
  g_free(keys);
}

void PressKeys(GtkWidget* view) {
  // a, then b (a sink cancels it), shift+C, then F2, which ends the test.
  SendKey(view, GDK_KEY_a, GdkModifierType(0));
  SendKey(view, GDK_KEY_b, GdkModifierType(0));
  SendKey(view, GDK_KEY_C, GDK_SHIFT_MASK);
  SendKey(view, GDK_KEY_F2, GdkModifierType(0));
}

gboolean OnMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer) {
  const char* name = webkit_user_message_get_name(message);
  GVariant* params = webkit_user_message_get_parameters(message);
  const char* text = params && g_variant_is_of_type(params, G_VARIANT_TYPE_STRING)
                         ? g_variant_get_string(params, nullptr)
                         : "";
  if (g_str_equal(name, "report")) {
    std::printf("%s\n", text);
    std::fflush(stdout);
  } else if (g_str_equal(name, "keys")) {
    gtk_widget_grab_focus(GTK_WIDGET(view));
    g_timeout_add(300, [](gpointer v) -> gboolean {
      PressKeys(GTK_WIDGET(v));
      return G_SOURCE_REMOVE;
    }, view);
  } else if (g_str_equal(name, "done")) {
    status = 0;
    gtk_main_quit();
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: webdom_host EXTENSION_DIR URL\n");
    return 64;
  }
  // What the engine needs in a container without a GPU or a sandbox.
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
  gtk_init(&argc, &argv);
  WebKitWebContext* context = webkit_web_context_new();
  webkit_web_context_set_web_extensions_directory(context, argv[1]);
  GtkWidget* view = webkit_web_view_new_with_context(context);
  g_signal_connect(view, "user-message-received", G_CALLBACK(OnMessage), nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  g_timeout_add_seconds(30, [](gpointer) -> gboolean {
    std::fprintf(stderr, "webdom_host: no \"done\" in time\n");
    gtk_main_quit();
    return G_SOURCE_REMOVE;
  }, nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[2]);
  gtk_main();
  return status;
}
