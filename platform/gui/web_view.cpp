// WebView: a browser view of WebKit whose pages run with our web-process
// extension. Its web context is its own, so that page views (saved pages)
// never load the extension.
#include <dlfcn.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <tuple>

#include "platform/gui/gtk_toolkit.h"

namespace quillmer::gui {
namespace {

struct ViewCtx {
  GtkToolkit* toolkit;
  HWND view;
};

void FreeCtx(gpointer data, GClosure*) { delete static_cast<ViewCtx*>(data); }

// The folder beside this library, found through one of its own addresses.
std::string ExtensionFolder() {
  if (const char* dir = std::getenv("QUILLMER_WEBEXT_DIR"); dir && *dir) return dir;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ExtensionFolder), &info) || !info.dli_fname) return {};
  gchar* dir = g_path_get_dirname(info.dli_fname);
  gchar* folder = g_build_filename(dir, kWebExtensionFolder, nullptr);
  std::string out = folder;
  g_free(folder);
  g_free(dir);
  return out;
}

WebKitWebContext* ExtensionContext() {
  static WebKitWebContext* context = [] {
    WebKitWebContext* c = webkit_web_context_new();
    const std::string folder = ExtensionFolder();
    if (!folder.empty()) webkit_web_context_set_web_extensions_directory(c, folder.c_str());
    return c;  // lives as long as the process, like the default context
  }();
  return context;
}

WebKitWebView* ViewOf(const Entry& e) { return e.view ? WEBKIT_WEB_VIEW(e.view) : nullptr; }

// The extension's answer: (ok, text); anything else is a refusal that says so.
std::pair<bool, std::string> AnswerOf(WebKitUserMessage* answer) {
  GVariant* params = answer ? webkit_user_message_get_parameters(answer) : nullptr;
  if (!params || !g_variant_is_of_type(params, G_VARIANT_TYPE("(bs)")))
    return {false, "the page answered with no (ok, text)"};
  gboolean ok = FALSE;
  const char* text = nullptr;
  g_variant_get(params, "(b&s)", &ok, &text);
  return {ok != FALSE, text ? text : ""};
}

WebKitUserMessage* MessageOf(const char* name, const char* const* args, std::size_t count) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
  for (std::size_t i = 0; i < count; ++i) {
    const char* arg = args[i] ? args[i] : "";
    // A GVariant string must be UTF-8; bytes that are not become U+FFFD.
    if (g_utf8_validate(arg, -1, nullptr)) {
      g_variant_builder_add(&builder, "s", arg);
    } else {
      gchar* fixed = g_utf8_make_valid(arg, -1);
      g_variant_builder_add(&builder, "s", fixed);
      g_free(fixed);
    }
  }
  return webkit_user_message_new(name, g_variant_builder_end(&builder));
}

// Navigations of the main frame; a subframe's own load is "other" and is not
// asked about (unless it is the address loaded through Url).
bool AsksBeforeNavigate(WebKitNavigationType type) {
  switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
      return true;
    default:
      return false;
  }
}

void OnNavigationAnswer(GObject* source, GAsyncResult* result, gpointer data) {
  auto* decision = static_cast<WebKitPolicyDecision*>(data);
  GError* error = nullptr;
  WebKitUserMessage* answer =
      webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(source), result, &error);
  // No page to ask, or no answer: the navigation goes on.
  bool cancel = false;
  if (answer) {
    auto [ok, text] = AnswerOf(answer);
    cancel = ok && text == "1";
    g_object_unref(answer);
  }
  if (error) g_error_free(error);
  if (cancel)
    webkit_policy_decision_ignore(decision);
  else
    webkit_policy_decision_use(decision);
  g_object_unref(decision);
}

// What one PageCall waits for; shared with the callback, which may come after
// the call gave up.
struct PendingCall {
  bool done = false;
  bool ok = false;
  std::string text;
};

void OnPageAnswer(GObject* source, GAsyncResult* result, gpointer data) {
  auto* held = static_cast<std::shared_ptr<PendingCall>*>(data);
  PendingCall& call = **held;
  GError* error = nullptr;
  WebKitUserMessage* answer =
      webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (answer) {
    std::tie(call.ok, call.text) = AnswerOf(answer);
    g_object_unref(answer);
  } else {
    call.ok = false;
    call.text = error ? error->message : "the page did not answer";
  }
  if (error) g_error_free(error);
  call.done = true;
  delete held;
}

}  // namespace

void GtkToolkit::MakeWebView(HWND h) {
  Entry& e = *Get(h);
  auto* box = static_cast<Gtk::Box*>(e.widget);
  SetWebKitEnvironment();
  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", ExtensionContext(), nullptr));
  e.view = view;
  e.webkit = true;
  gtk_box_pack_start(box->gobj(), view, TRUE, TRUE, 0);
  gtk_widget_show(view);
  gtk_widget_set_can_focus(view, TRUE);

  auto connect = [&](const char* signal, GCallback callback) {
    g_signal_connect_data(view, signal, callback, new ViewCtx{this, h}, FreeCtx, GConnectFlags{});
  };
  connect("load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
            auto* c = static_cast<ViewCtx*>(data);
            Entry* e = c->toolkit->Get(c->view);
            if (!e) return;
            WPARAM what = 0;
            switch (event) {
              case WEBKIT_LOAD_STARTED:
                e->loadFailed = false;
                what = kLoadStarted;
                break;
              case WEBKIT_LOAD_COMMITTED:
                what = kLoadCommitted;
                break;
              case WEBKIT_LOAD_FINISHED:
                // A failed load has said so already: it ends once.
                if (!e->loadFailed) what = kLoadFinished;
                break;
              default:
                break;
            }
            if (what) c->toolkit->Send(c->view, QM_NAVIGATE, what, 0);
          }));
  connect("load-failed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, gchar*, GError*,
                                        gpointer data) -> gboolean {
            auto* c = static_cast<ViewCtx*>(data);
            Entry* e = c->toolkit->Get(c->view);
            if (!e) return FALSE;
            e->loadFailed = true;
            c->toolkit->Send(c->view, QM_NAVIGATE, kLoadFailed, 0);
            return FALSE;  // WebKit shows its error page
          }));
  connect("notify::title", G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) {
            auto* c = static_cast<ViewCtx*>(data);
            if (c->toolkit->Get(c->view)) c->toolkit->Send(c->view, QM_NAVIGATE, kTitleChanged, 0);
          }));
  connect(
      "decide-policy", G_CALLBACK(+[](WebKitWebView* view, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer data) -> gboolean {
        auto* c = static_cast<ViewCtx*>(data);
        Entry* e = c->toolkit->Get(c->view);
        if (!e || type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const WebKitNavigationType kind = webkit_navigation_action_get_navigation_type(action);
        const bool fromUrl = kind == WEBKIT_NAVIGATION_TYPE_OTHER && e->urlLoading;
        if (!AsksBeforeNavigate(kind) && !fromUrl) return FALSE;
        e->urlLoading = false;
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
        const char* args[] = {uri ? uri : ""};
        webkit_web_view_send_message_to_page(view, MessageOf(kPageBeforeNavigate, args, 1), nullptr,
                                             OnNavigationAnswer, g_object_ref(decision));
        return TRUE;
      }));
  connect("context-menu", G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                                         WebKitHitTestResult*, gpointer data) -> gboolean {
            auto* c = static_cast<ViewCtx*>(data);
            Entry* e = c->toolkit->Get(c->view);
            if (!e) return FALSE;
            bool first = true;
            for (const auto& [key, label] : e->texts) {
              if (key.first != Prop::Items) continue;
              if (first) webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
              first = false;
              const std::string name = "quillmer-entry-" + std::to_string(key.second);
              GSimpleAction* action = g_simple_action_new(name.c_str(), nullptr);
              struct EntryCtx {
                GtkToolkit* toolkit;
                HWND view;
                int index;
              };
              g_signal_connect_data(
                  action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer d) {
                    auto* ec = static_cast<EntryCtx*>(d);
                    if (ec->toolkit->Get(ec->view))
                      ec->toolkit->Send(ec->view, QM_CLICK, static_cast<WPARAM>(ec->index), 0);
                  }),
                  new EntryCtx{c->toolkit, c->view, key.second},
                  [](gpointer d, GClosure*) { delete static_cast<EntryCtx*>(d); }, GConnectFlags{});
              webkit_context_menu_append(menu, webkit_context_menu_item_new_from_gaction(
                                                   G_ACTION(action), label.c_str(), nullptr));
              g_object_unref(action);
            }
            e->menuShown = true;
            return FALSE;
          }));
  connect("context-menu-dismissed", G_CALLBACK(+[](WebKitWebView*, gpointer data) {
            auto* c = static_cast<ViewCtx*>(data);
            if (Entry* e = c->toolkit->Get(c->view)) e->menuShown = false;
          }));
  // The page's process went: its view stays, empty; a load in progress failed.
  connect("web-process-terminated",
          G_CALLBACK(+[](WebKitWebView* view, WebKitWebProcessTerminationReason, gpointer data) {
            auto* c = static_cast<ViewCtx*>(data);
            Entry* e = c->toolkit->Get(c->view);
            std::fputs("quillmer: the page's web process ended\n", stderr);
            if (e && webkit_web_view_is_loading(view)) {
              e->loadFailed = true;
              c->toolkit->Send(c->view, QM_NAVIGATE, kLoadFailed, 0);
            }
          }));
}

void GtkToolkit::LoadWebView(HWND h) {
  Entry& e = *Get(h);
  WebKitWebView* view = ViewOf(e);
  const std::string& url = e.Text(Prop::Url);
  if (!view || url.empty()) return;
  e.urlLoading = true;
  webkit_web_view_load_uri(view, FileUri(url, false).c_str());
}

void GtkToolkit::NavigateWebView(HWND h, std::int64_t how) {
  Entry& e = *Get(h);
  e.ints.erase({Prop::Navigate, 0});  // an action, not a value
  WebKitWebView* view = ViewOf(e);
  if (!view) return;
  switch (how) {
    case kGoBack:
      webkit_web_view_go_back(view);
      break;
    case kGoForward:
      webkit_web_view_go_forward(view);
      break;
    case kReload:
      webkit_web_view_reload(view);
      break;
    case kStop:
      webkit_web_view_stop_loading(view);
      break;
    default:
      break;
  }
}

bool GtkToolkit::PageCall(HWND view, const char* name, const char* const* args, std::size_t count,
                          PageReply reply, void* context, int timeoutMs) {
  Entry* e = Get(view);
  if (!e || e->kind != ControlKind::WebView || !e->view || !name || !reply) return false;
  if (!args) count = 0;
  auto call = std::make_shared<PendingCall>();
  // Held while the loop runs: the sink may destroy the control meanwhile.
  GtkWidget* widget = GTK_WIDGET(g_object_ref(e->view));
  webkit_web_view_send_message_to_page(WEBKIT_WEB_VIEW(widget), MessageOf(name, args, count),
                                       nullptr, OnPageAnswer,
                                       new std::shared_ptr<PendingCall>(call));
  const gint64 end = g_get_monotonic_time() + std::max(timeoutMs, 0) * 1000LL;
  while (!call->done) {
    const gint64 left = (end - g_get_monotonic_time()) / 1000;
    if (left <= 0) break;
    Pump(static_cast<int>(std::min<gint64>(left, 50)));
  }
  g_object_unref(widget);
  if (!call->done) return false;
  reply(context, call->ok, call->text.c_str(), call->text.size());
  return true;
}

// WebKit builds the menu itself and pops it up over the view; it is the open
// GtkMenu attached to the view, and our entries are its last items.
bool GtkToolkit::ChooseContextEntry(HWND h, int index) {
  Entry* e = Get(h);
  if (!e || !e->view || !e->menuShown || index < 0) return false;
  int entries = 0, position = -1;
  for (const auto& [key, label] : e->texts) {
    if (key.first != Prop::Items) continue;
    if (key.second == index) position = entries;
    ++entries;
  }
  if (position < 0) return false;
  GtkMenu* open = nullptr;
  GList* tops = gtk_window_list_toplevels();
  for (GList* t = tops; t && !open; t = t->next) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(t->data));
    if (child && GTK_IS_MENU(child) && gtk_widget_get_mapped(child) &&
        gtk_menu_get_attach_widget(GTK_MENU(child)) == e->view)
      open = GTK_MENU(child);
  }
  g_list_free(tops);
  if (!open) return false;
  std::vector<GtkWidget*> items;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(open));
  for (GList* k = kids; k; k = k->next)
    if (!GTK_IS_SEPARATOR_MENU_ITEM(k->data) && gtk_widget_get_visible(GTK_WIDGET(k->data)))
      items.push_back(GTK_WIDGET(k->data));
  g_list_free(kids);
  if (static_cast<int>(items.size()) < entries) return false;
  GtkWidget* item =
      items[items.size() - static_cast<std::size_t>(entries) + static_cast<std::size_t>(position)];
  // As a click on it: the menu closes, then the item acts.
  gtk_menu_shell_activate_item(GTK_MENU_SHELL(open), item, TRUE);
  Settle(100);
  return true;
}

bool GtkToolkit::AwaitContextMenu(HWND h, int ms) {
  const gint64 end = g_get_monotonic_time() + ms * 1000LL;
  for (;;) {
    Entry* e = Get(h);
    if (!e) return false;
    if (e->menuShown) break;
    if (g_get_monotonic_time() >= end) return false;
    Pump(10);
  }
  Settle(100);  // WebKit pops it up after our handler
  return true;
}

}  // namespace quillmer::gui
