/* A web-process extension for the toolkit's tests: it answers each user
 * message with (ok, text) as the real one does.
 *   "Echo" a b ...       -> (true, "a|b|...")
 *   "Refuse"             -> (false, "refused")
 *   "Crash"              -> no answer: the web process ends
 *   "Late" ms            -> (true, "late"), after ms milliseconds
 *   "BeforeNavigate2" u  -> (true, "1") when u contains "cancel", else "0";
 *                           each u is also added as a line to the file
 *                           QUILLMER_TEST_WEBEXT_LOG names. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <webkit2/webkit-web-extension.h>

static void Answer(WebKitUserMessage* message, gboolean ok, const char* text) {
  webkit_user_message_send_reply(
      message, webkit_user_message_new("Answer", g_variant_new("(bs)", ok, text)));
}

static gboolean AnswerLate(gpointer data) {
  WebKitUserMessage* message = data;
  Answer(message, TRUE, "late");
  g_object_unref(message);
  return G_SOURCE_REMOVE;
}

static void Log(const char* uri) {
  const char* path = getenv("QUILLMER_TEST_WEBEXT_LOG");
  FILE* file = path && *path ? fopen(path, "a") : NULL;
  if (!file) return;
  fprintf(file, "%s\n", uri);
  fclose(file);
}

static gboolean OnMessage(WebKitWebPage* page, WebKitUserMessage* message, gpointer data) {
  (void)page;
  (void)data;
  const char* name = webkit_user_message_get_name(message);
  GVariant* params = webkit_user_message_get_parameters(message);
  gsize count = 0;
  const gchar** args = params && g_variant_is_of_type(params, G_VARIANT_TYPE("as"))
                           ? g_variant_get_strv(params, &count)
                           : NULL;
  if (strcmp(name, "Echo") == 0) {
    gchar* joined = g_strjoinv("|", (gchar**)(args ? args : (const gchar*[]){NULL}));
    Answer(message, TRUE, joined);
    g_free(joined);
  } else if (strcmp(name, "Crash") == 0) {
    abort();
  } else if (strcmp(name, "Late") == 0 && count == 1) {
    g_timeout_add((guint)atoi(args[0]), AnswerLate, g_object_ref(message));
  } else if (strcmp(name, "BeforeNavigate2") == 0 && count == 1) {
    Log(args[0]);
    Answer(message, TRUE, strstr(args[0], "cancel") ? "1" : "0");
  } else {
    Answer(message, FALSE, "refused");
  }
  g_free(args);
  return TRUE;
}

static void OnPage(WebKitWebExtension* extension, WebKitWebPage* page, gpointer data) {
  (void)extension;
  (void)data;
  g_signal_connect(page, "user-message-received", G_CALLBACK(OnMessage), NULL);
}

G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
  g_signal_connect(extension, "page-created", G_CALLBACK(OnPage), NULL);
}
