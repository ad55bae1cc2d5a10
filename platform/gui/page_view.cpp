// PageView: a WebKit view of a saved page, or of HTML with a base folder;
// a read-only text view of the page's text when WebKit cannot run.
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/gui/gtk_toolkit.h"

namespace quillmer::gui {
namespace {

constexpr unsigned kDrawnAfterLoadMs = 250;

// The text a reader sees of some HTML: tags, scripts and styles dropped,
// a few entities read.
std::string TextOfHtml(const std::string& html) {
  std::string out;
  bool inTag = false;
  std::string skipUntil;
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (!skipUntil.empty()) {
      if (g_ascii_strncasecmp(html.c_str() + i, skipUntil.c_str(), skipUntil.size()) == 0) {
        i += skipUntil.size() - 1;
        skipUntil.clear();
      }
      continue;
    }
    const char c = html[i];
    if (inTag) {
      if (c == '>') inTag = false;
      continue;
    }
    if (c == '<') {
      if (g_ascii_strncasecmp(html.c_str() + i, "<script", 7) == 0) skipUntil = "</script>";
      else if (g_ascii_strncasecmp(html.c_str() + i, "<style", 6) == 0) skipUntil = "</style>";
      else inTag = true;
      if (g_ascii_strncasecmp(html.c_str() + i, "<br", 3) == 0 ||
          g_ascii_strncasecmp(html.c_str() + i, "<p", 2) == 0 ||
          g_ascii_strncasecmp(html.c_str() + i, "<div", 4) == 0)
        out += '\n';
      continue;
    }
    if (c == '&') {
      static const std::pair<const char*, const char*> kEntities[] = {
          {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", " "}};
      bool done = false;
      for (auto [name, text] : kEntities) {
        const std::size_t n = std::strlen(name);
        if (html.compare(i, n, name) == 0) {
          out += text;
          i += n - 1;
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

std::string FileUri(const std::string& pathOrUri, bool folder) {
  if (pathOrUri.find("://") != std::string::npos || pathOrUri.rfind("about:", 0) == 0 ||
      pathOrUri.rfind("data:", 0) == 0)
    return pathOrUri;
  GFile* file = g_file_new_for_path(pathOrUri.c_str());
  char* uri = g_file_get_uri(file);
  std::string out = uri ? uri : "";
  g_free(uri);
  g_object_unref(file);
  if (folder && !out.empty() && out.back() != '/') out += '/';
  return out;
}

// What WebKit needs here: no GPU (software drawing, no compositing, no DMA
// buffers) and, as root in a container, no sandbox it could not set up. Set
// only where the user has not said otherwise.
void GtkToolkit::SetWebKitEnvironment() {
  if (webkitReady_) return;
  webkitReady_ = true;
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
}

void GtkToolkit::MakePageView(HWND h) {
  Entry& e = *Get(h);
  auto* box = static_cast<Gtk::Box*>(e.widget);
  if (!std::getenv("QUILLMER_NO_WEBKIT")) {
    SetWebKitEnvironment();
    GtkWidget* view = webkit_web_view_new();
    if (view) {
      e.view = view;
      e.webkit = true;
      gtk_box_pack_start(box->gobj(), view, TRUE, TRUE, 0);
      gtk_widget_show(view);
      struct Ctx {
        GtkToolkit* toolkit;
        HWND page;
      };
      g_signal_connect_data(
          view, "web-process-terminated",
          G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
            auto* c = static_cast<Ctx*>(data);
            // Not from inside WebKit's own signal: the view goes away.
            Glib::signal_idle().connect_once([t = c->toolkit, p = c->page] {
              if (t->Get(p)) t->FallBackToText(p);
            });
          }),
          new Ctx{this, h}, [](gpointer data, GClosure*) { delete static_cast<Ctx*>(data); },
          GConnectFlags{});
      // Loading ends a little after the load: the web process draws it then.
      g_signal_connect_data(
          view, "load-changed",
          G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
            if (event != WEBKIT_LOAD_FINISHED) return;
            auto* c = static_cast<Ctx*>(data);
            Glib::signal_timeout().connect_once(
                [t = c->toolkit, p = c->page] {
                  if (Entry* e = t->Get(p)) e->ints[{Prop::Loading, 0}] = 0;
                },
                kDrawnAfterLoadMs);
          }),
          new Ctx{this, h}, [](gpointer data, GClosure*) { delete static_cast<Ctx*>(data); },
          GConnectFlags{});
      return;
    }
  }
  FallBackToText(h);
}

void GtkToolkit::FallBackToText(HWND h) {
  Entry& e = *Get(h);
  auto* box = static_cast<Gtk::Box*>(e.widget);
  if (!webkitFailedSaid_) {
    webkitFailedSaid_ = true;
    std::fputs("quillmer: the web view cannot run here; pages are shown as text\n", stderr);
  }
  if (e.view) gtk_widget_destroy(gtk_widget_get_parent(e.view) == GTK_WIDGET(box->gobj())
                                     ? e.view
                                     : gtk_widget_get_parent(e.view));
  auto* scroll = Gtk::manage(new Gtk::ScrolledWindow);
  auto* text = Gtk::manage(new Gtk::TextView);
  text->set_editable(false);
  text->set_wrap_mode(Gtk::WRAP_WORD_CHAR);
  scroll->add(*text);
  box->pack_start(*scroll, true, true);
  scroll->show_all();
  e.view = GTK_WIDGET(text->gobj());
  e.webkit = false;
  ShowPage(h);
}

void GtkToolkit::ShowPage(HWND h) {
  Entry& e = *Get(h);
  if (!e.view) return;
  const std::string& url = e.Text(Prop::Url);
  const std::string& html = e.Text(Prop::Text);
  // The one set last wins: Url names a file, Text is the page itself.
  const bool fromFile = e.pageFromUrl && !url.empty();
  if (e.webkit) {
    auto* view = WEBKIT_WEB_VIEW(e.view);
    e.ints[{Prop::Loading, 0}] = 1;
    if (fromFile) {
      const std::string uri = FileUri(url, false);
      const char* shown = webkit_web_view_get_uri(view);
      if (shown && uri == shown)
        webkit_web_view_reload(view);
      else
        webkit_web_view_load_uri(view, uri.c_str());
    } else {
      const std::string& base = e.Text(Prop::Base);
      webkit_web_view_load_html(view, html.c_str(),
                                base.empty() ? nullptr : FileUri(base, true).c_str());
    }
    return;
  }
  std::string page = html;
  if (fromFile) {
    std::string path = url;
    if (url.rfind("file://", 0) == 0) {
      if (char* p = g_filename_from_uri(url.c_str(), nullptr, nullptr)) path = p, g_free(p);
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    page = all.str();
  }
  std::string text = TextOfHtml(page);
  if (!g_utf8_validate(text.c_str(), static_cast<gssize>(text.size()), nullptr)) {
    gchar* fixed = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    text = fixed;
    g_free(fixed);
  }
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(e.view)), text.c_str(), -1);
}

}  // namespace quillmer::gui
