// Message boxes: a modal GTK dialog, unless a script answered it beforehand
// or says that no one is there to answer.
#include <cstdio>

#include "platform/gui/gtk_toolkit.h"

namespace quillmer::gui {
namespace {

// The platform's flags, as the window layer passes them.
constexpr unsigned kButtonsMask = 0x0F;
constexpr unsigned kOkCancel = 0x01;
constexpr unsigned kYesNoCancel = 0x03;
constexpr unsigned kYesNo = 0x04;
constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kIconError = 0x10;
constexpr unsigned kIconQuestion = 0x20;
constexpr unsigned kIconWarning = 0x30;
constexpr unsigned kIconInformation = 0x40;
constexpr unsigned kDefaultButtonMask = 0xF00;  // 0x100: the second, 0x200: the third

std::vector<int> ButtonsOf(unsigned flags) {
  switch (flags & kButtonsMask) {
    case kOkCancel:
      return {IDOK, IDCANCEL};
    case kYesNoCancel:
      return {IDYES, IDNO, IDCANCEL};
    case kYesNo:
      return {IDYES, IDNO};
    default:
      return {IDOK};
  }
}

int DefaultOf(unsigned flags) {
  const auto buttons = ButtonsOf(flags);
  const std::size_t which = (flags & kDefaultButtonMask) >> 8;
  return buttons[which < buttons.size() ? which : 0];
}

const char* LabelOf(int id) {
  // GTK's own labels, in the user's language.
  switch (id) {
    case IDOK:
      return g_dgettext("gtk30", "_OK");
    case IDCANCEL:
      return g_dgettext("gtk30", "_Cancel");
    case IDYES:
      return g_dgettext("gtk30", "_Yes");
    default:
      return g_dgettext("gtk30", "_No");
  }
}

}  // namespace

int GtkToolkit::MessageBox(HWND owner, const char* text, const char* caption, unsigned flags) {
  const std::string body = text ? text : "", title = caption ? caption : "";
  const auto buttons = ButtonsOf(flags);
  {
    std::lock_guard lock(mutex_);
    if (!answers_.empty()) {
      const int answer = answers_.front();
      answers_.pop_front();
      return answer;
    }
  }
  if (scripted_ || !open_) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
    return DefaultOf(flags);
  }
  Gtk::MessageType type = Gtk::MESSAGE_OTHER;
  switch (flags & kIconMask) {
    case kIconError:
      type = Gtk::MESSAGE_ERROR;
      break;
    case kIconQuestion:
      type = Gtk::MESSAGE_QUESTION;
      break;
    case kIconWarning:
      type = Gtk::MESSAGE_WARNING;
      break;
    case kIconInformation:
      type = Gtk::MESSAGE_INFO;
      break;
    default:
      break;
  }
  Gtk::MessageDialog dialog(body, false, type, Gtk::BUTTONS_NONE, true);
  dialog.set_title(title);
  if (Gtk::Window* top = owner ? TopLevelOf(owner) : nullptr) dialog.set_transient_for(*top);
  for (int id : buttons) dialog.add_button(LabelOf(id), id);
  dialog.set_default_response(DefaultOf(flags));
  // Boxes that ask Yes or No cannot be closed without an answer.
  if ((flags & kButtonsMask) == kYesNo) dialog.set_deletable(false);
  int answer;
  do {
    answer = dialog.run();
  } while (answer == Gtk::RESPONSE_DELETE_EVENT && (flags & kButtonsMask) == kYesNo &&
           dialog.get_visible());
  if (answer == Gtk::RESPONSE_DELETE_EVENT || answer == Gtk::RESPONSE_NONE)
    answer = (flags & kButtonsMask) == 0 ? IDOK : ((flags & kButtonsMask) == kYesNo ? IDNO : IDCANCEL);
  return answer;
}

}  // namespace quillmer::gui
