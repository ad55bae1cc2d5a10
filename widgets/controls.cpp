#include "widgets/controls.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/base/text.h"

extern char** environ;

namespace quillmer {

Form* ParentForm(Control& control) {
  for (Control* c = control.Parent(); c; c = c->Parent())
    if (auto* form = dynamic_cast<Form*>(c)) return form;
  return nullptr;
}

Label::Label(Control& parent, std::string name)
    : Control(ControlKind::Label, &parent, std::move(name)) {}

GroupBox::GroupBox(Control& parent, std::string name)
    : Control(ControlKind::GroupBox, &parent, std::move(name)) {}

// ---- Buttons ----------------------------------------------------------------

Button::Button(Control& parent, std::string name)
    : Control(ControlKind::Button, &parent, std::move(name)) {}

Button::Button(ControlKind kind, Control& parent, std::string name)
    : Control(kind, &parent, std::move(name)) {}

void Button::DoClick() {
  if (modalResult_ != mrNone)
    if (Form* form = ParentForm(*this)) form->SetModalResult(modalResult_);
  Control::DoClick();
}

ColorButton::ColorButton(Control& parent, std::string name)
    : Button(ControlKind::BitmapButton, parent, std::move(name)) {}

void ColorButton::SetFaceColor(std::int32_t bgr) {
  face_ = bgr;
  Paint();
}

void ColorButton::SetHoverColor(std::int32_t bgr) {
  hover_ = bgr;
  Paint();
}

void ColorButton::Paint() { SetColor(hovered_ && hover_ != -1 ? hover_ : face_); }

LRESULT ColorButton::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_HOVER) {
    hovered_ = wParam != 0;
    Paint();
    return 0;
  }
  return Button::Message(message, wParam, lParam);
}

CheckBox::CheckBox(Control& parent, std::string name)
    : Control(ControlKind::CheckBox, &parent, std::move(name)) {}

RadioButton::RadioButton(Control& parent, std::string name, int group)
    : Control(ControlKind::RadioButton, &parent, std::move(name)) {
  SetInt(Prop::RadioGroup, group);
}

// ---- Combo boxes ------------------------------------------------------------

ComboBox::ComboBox(Control& parent, std::string name, bool editable)
    : Control(ControlKind::ComboBox, &parent, std::move(name)) {
  SetInt(Prop::Style, editable ? 1 : 0);
  SetInt(Prop::ItemIndex, -1);
}

ComboBox::ComboBox(ControlKind kind, Control& parent, std::string name)
    : Control(kind, &parent, std::move(name)) {
  SetInt(Prop::ItemIndex, -1);
}

int ComboBox::AddItem(std::u16string_view text) {
  items_.emplace_back(text);
  const int index = ItemCount() - 1;
  SetString(Prop::Items, text, index);
  SetInt(Prop::ItemCount, ItemCount());
  return index;
}

void ComboBox::ClearItems() {
  items_.clear();
  SetInt(Prop::ItemCount, 0);
  SetInt(Prop::ItemIndex, -1);
}

std::u16string ComboBox::Item(int index) const {
  return index >= 0 && index < ItemCount() ? items_[index] : std::u16string();
}

void ComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= ItemCount()) index = -1;
  SetInt(Prop::ItemIndex, index);
  if (index >= 0) SetString(Prop::Text, items_[index]);
}

int ComboBox::ItemIndex() const {
  const auto index = GetInt(Prop::ItemIndex);
  return index >= 0 && index < ItemCount() ? static_cast<int>(index) : -1;
}

std::u16string ComboBox::Text() const {
  if (GetInt(Prop::Style) == 1) return GetString(Prop::Text);
  return Item(ItemIndex());
}

void ComboBox::SetText(std::u16string_view text) {
  SetString(Prop::Text, text);
  int found = -1;
  for (int i = 0; i < ItemCount() && found < 0; ++i)
    if (items_[i] == text) found = i;
  SetInt(Prop::ItemIndex, found);
}

LRESULT ComboBox::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_CHANGE) {
    if (OnChange) OnChange(*this);
    return 0;
  }
  return Control::Message(message, wParam, lParam);
}

ImageComboBox::ImageComboBox(Control& parent, std::string name)
    : ComboBox(ControlKind::ImageComboBox, parent, std::move(name)) {}

void ImageComboBox::SetImages(const ImageList* images) {
  images_ = images;
  for (int i = 0; i < ItemCount(); ++i) ShowImage(i);
}

int ImageComboBox::AddItem(std::u16string_view text, int imageIndex) {
  const int index = ComboBox::AddItem(text);
  imageIndexes_.push_back(imageIndex);
  ShowImage(index);
  return index;
}

int ImageComboBox::AddImageItem(std::u16string_view item) {
  const auto bar = item.rfind(u'|');
  if (bar != std::u16string_view::npos && bar + 1 < item.size() && item.size() - bar <= 6) {
    int image = 0;
    bool number = true;
    for (char16_t c : item.substr(bar + 1)) {
      if (c < u'0' || c > u'9') number = false;
      image = image * 10 + (c - u'0');
    }
    if (number) return AddItem(item.substr(0, bar), image);
  }
  return AddItem(item, -1);
}

void ImageComboBox::ClearItems() {
  imageIndexes_.clear();  // items made later start their images afresh
  ComboBox::ClearItems();
}

int ImageComboBox::ItemImage(int index) const {
  return index >= 0 && index < ItemCount() ? imageIndexes_[index] : -1;
}

void ImageComboBox::ShowImage(int index) {
  SetInt(Prop::ImageItem, index);
  SetBytes(Prop::Image, images_ ? images_->Image(imageIndexes_[index]) : std::string_view());
}

// ---- URL labels -------------------------------------------------------------

namespace {

// The program's path found on PATH, as execvp would find it.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const auto colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) return {};
    dirs.remove_prefix(colon + 1);
  }
}

// Starts the program detached from us (its own session, reaped at once), so
// that neither a browser that stays nor one that quits leaves a child behind.
bool SpawnDetached(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  const std::string program = FindProgram(args[0]);
  if (program.empty()) return false;
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) _exit(0);
    ::execve(program.c_str(), argv.data(), environ);
    const int error = errno;
    (void)!::write(fds[1], &error, sizeof error);
    _exit(127);
  }
  ::close(fds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes unread when the program started.
  int error = 0;
  ssize_t n;
  while ((n = ::read(fds[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(fds[0]);
  return n == 0;
}

UrlOpener& Opener() {
  static UrlOpener opener;
  return opener;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

void SetUrlOpener(UrlOpener opener) { Opener() = std::move(opener); }

bool UrlMayOpen(std::u16string_view url) {
  // Other schemes (file:, a path, a desktop entry) could start programs.
  for (std::u16string_view scheme : {u"http://", u"https://", u"ftp://", u"mailto:"})
    if (StartsWithNoCase(url, scheme) && url.size() > scheme.size()) {
      for (char16_t c : url)
        if (c < 0x20 || c == 0x7F) return false;
      return true;
    }
  return false;
}

UrlLabel::UrlLabel(Control& parent, std::string name)
    : Control(ControlKind::UrlLabel, &parent, std::move(name)) {}

bool UrlLabel::Open() const {
  const std::u16string url = Url();
  if (!UrlMayOpen(url)) return false;
  std::vector<std::string> argv{"xdg-open", ToUtf8(url)};
  return Opener() ? Opener()(argv) : SpawnDetached(argv);
}

void UrlLabel::DoClick() {
  Open();
  Control::DoClick();
}

// ---- Tabbed pages -----------------------------------------------------------

PageControl::PageControl(Control& parent, std::string name)
    : Control(ControlKind::Tabs, &parent, std::move(name)) {}

TabSheet* PageControl::Page(int index) const {
  return index >= 0 && index < PageCount() ? pages_[index] : nullptr;
}

void PageControl::SetActivePage(TabSheet& page) {
  const int index = page.PageIndex();
  if (index >= 0) SetInt(Prop::ItemIndex, index);
}

TabSheet* PageControl::ActivePage() const { return Page(ActivePageIndex()); }

LRESULT PageControl::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_CHANGE) {
    if (OnChange) OnChange(*this);
    return 0;
  }
  return Control::Message(message, wParam, lParam);
}

TabSheet::TabSheet(PageControl& pages, std::string name)
    : Control(ControlKind::TabPage, &pages, std::move(name)), pages_(pages) {
  pages_.pages_.push_back(this);
}

TabSheet::~TabSheet() { std::erase(pages_.pages_, this); }

int TabSheet::PageIndex() const {
  for (int i = 0; i < pages_.PageCount(); ++i)
    if (pages_.pages_[i] == this) return i;
  return -1;
}

}  // namespace quillmer
