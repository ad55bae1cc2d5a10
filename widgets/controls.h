// The dialogs' simple controls: labels, buttons, check and radio boxes, group
// boxes, combo boxes, URL labels and tabbed pages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "widgets/control.h"
#include "widgets/form.h"
#include "widgets/image_list.h"

namespace quillmer {

// The form a control sits on (the nearest Form above it); null when none.
Form* ParentForm(Control& control);

class Label : public Control {
 public:
  Label(Control& parent, std::string name);
  // Character height in pixels; 0: the toolkit's default.
  void SetFontHeight(int pixels) { SetInt(Prop::FontHeight, pixels); }
};

class GroupBox : public Control {
 public:
  GroupBox(Control& parent, std::string name);
};

// A push button. Clicked, it first sets its form's ModalResult (when its own
// is not mrNone), then runs OnClick, which may set the form's back to mrNone
// to keep a modal form open.
class Button : public Control {
 public:
  Button(Control& parent, std::string name);

  void SetModalResult(int result) { modalResult_ = result; }
  int ModalResult() const { return modalResult_; }
  // Enter clicks the default button, Escape the cancel button.
  void SetDefault(bool on) { SetInt(Prop::Default, on); }
  bool Default() const { return GetInt(Prop::Default) != 0; }
  void SetCancel(bool on) { SetInt(Prop::Cancel, on); }
  bool Cancel() const { return GetInt(Prop::Cancel) != 0; }

 protected:
  Button(ControlKind kind, Control& parent, std::string name);
  void DoClick() override;

 private:
  int modalResult_ = mrNone;
};

// The coloured bitmap button: an image on a face of one colour, another
// while the pointer is over it.
class ColorButton : public Button {
 public:
  ColorButton(Control& parent, std::string name);

  void SetImage(std::string png) { SetBytes(Prop::Image, png); }
  // 0x00BBGGRR; -1: the toolkit's default. The hover colour -1 keeps the
  // face colour while the pointer is over the button.
  void SetFaceColor(std::int32_t bgr);
  std::int32_t FaceColor() const { return face_; }
  void SetHoverColor(std::int32_t bgr);
  std::int32_t HoverColor() const { return hover_; }
  bool Hovered() const { return hovered_; }

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint();

  std::int32_t face_ = -1;
  std::int32_t hover_ = -1;
  bool hovered_ = false;
};

// OnClick runs when the user toggles the box, not when the program sets it.
class CheckBox : public Control {
 public:
  CheckBox(Control& parent, std::string name);
  void SetChecked(bool checked) { SetInt(Prop::Checked, checked); }
  bool Checked() const { return GetInt(Prop::Checked) != 0; }
};

// Radio buttons of one group under one parent exclude each other.
class RadioButton : public Control {
 public:
  RadioButton(Control& parent, std::string name, int group = 0);
  void SetChecked(bool checked) { SetInt(Prop::Checked, checked); }
  bool Checked() const { return GetInt(Prop::Checked) != 0; }
};

// A list of texts to choose one from; an editable one also takes typed text.
class ComboBox : public Control {
 public:
  ComboBox(Control& parent, std::string name, bool editable = false);

  int AddItem(std::u16string_view text);
  virtual void ClearItems();
  int ItemCount() const { return static_cast<int>(items_.size()); }
  std::u16string Item(int index) const;
  // -1: nothing chosen.
  void SetItemIndex(int index);
  int ItemIndex() const;
  // The chosen item's text, or what was typed into an editable box.
  std::u16string Text() const;
  void SetText(std::u16string_view text);

  // The user chose an item or typed.
  Handler OnChange;

 protected:
  ComboBox(ControlKind kind, Control& parent, std::string name);
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

  std::vector<std::u16string> items_;
};

// A combo box whose items each show an image of an image list.
class ImageComboBox : public ComboBox {
 public:
  ImageComboBox(Control& parent, std::string name);

  void SetImages(const ImageList* images);
  int AddItem(std::u16string_view text, int imageIndex);
  // "text|image": the text, a vertical bar and the image's index; without a
  // bar (or with one not followed by a number) all of it is text, image -1.
  int AddImageItem(std::u16string_view item);
  int ItemImage(int index) const;
  void ClearItems() override;

 private:
  void ShowImage(int index);

  const ImageList* images_ = nullptr;
  std::vector<int> imageIndexes_;
};

// How a URL label starts the desktop's opener: the program and its
// arguments, never through a shell. Tests put their own in place.
using UrlOpener = std::function<bool(const std::vector<std::string>& argv)>;
void SetUrlOpener(UrlOpener opener);  // empty: the real one

// A label that opens its URL in the desktop's browser or mail program
// (xdg-open) when clicked. Only http, https, ftp and mailto addresses open.
class UrlLabel : public Control {
 public:
  UrlLabel(Control& parent, std::string name);

  void SetUrl(std::u16string_view url) { SetString(Prop::Url, url); }
  std::u16string Url() const { return GetString(Prop::Url); }
  // Opens the URL; false when it may not be opened or the opener did not
  // start.
  bool Open() const;

 protected:
  void DoClick() override;
};

// Whether a URL label may hand the address to the opener.
bool UrlMayOpen(std::u16string_view url);

class TabSheet;

// Tabbed pages; the sheets are made with the page control as parent, in the
// order of their tabs.
class PageControl : public Control {
 public:
  PageControl(Control& parent, std::string name);

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TabSheet* Page(int index) const;
  void SetActivePage(TabSheet& page);
  TabSheet* ActivePage() const;
  int ActivePageIndex() const { return static_cast<int>(GetInt(Prop::ItemIndex)); }

  // The user turned to another page.
  Handler OnChange;

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  friend class TabSheet;
  std::vector<TabSheet*> pages_;
};

class TabSheet : public Control {
 public:
  TabSheet(PageControl& pages, std::string name);
  ~TabSheet() override;
  int PageIndex() const;

 private:
  PageControl& pages_;
};

}  // namespace quillmer
