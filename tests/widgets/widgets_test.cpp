#include <gtest/gtest.h>

#include <chrono>

#include "platform/win32/dialogs.h"
#include "tests/support/fake_toolkit.h"
#include "widgets/form.h"
#include "widgets/hint.h"
#include "widgets/timer.h"
#include "widgets/toolbar.h"

namespace quillmer {
namespace {

using testing::FakeToolkit;

class Widgets : public ::testing::Test {
 protected:
  void TearDown() override { ResetWindows(); }
  FakeToolkit kit;
};

TEST_F(Widgets, ButtonsShowTheirImagesAndClicksReachTheHandlerWithTheSender) {
  Form host(ControlKind::Window, nullptr, "Host");
  Form form(ControlKind::Form, host.Handle(), "Form");
  ImageList images;
  images.Add("png-0");
  images.Add("png-1");
  ToolBar bar(form, "ToolBar1");
  bar.SetImages(&images);
  ToolButton b1(bar, "ToolButton1"), b2(bar, "ToolButton2");
  ToolButton sep(bar, "ToolButton3", ToolButtonStyle::Separator);
  ToolButton b4(bar, "ToolButton4");
  b1.Tag = 1;
  b2.Tag = 2;
  b2.SetImageIndex(1);
  b4.SetImageIndex(7);  // past the list: no image
  EXPECT_EQ(kit.Bytes(b2.Handle(), Prop::Image), "png-1");
  EXPECT_EQ(kit.Bytes(b4.Handle(), Prop::Image), "");
  int tags = 0;
  b1.OnClick = b2.OnClick = [&](Control& sender) { tags = tags * 10 + sender.Tag; };
  ASSERT_TRUE(kit.ClickNamed("ToolButton2"));
  ASSERT_TRUE(kit.ClickNamed("ToolButton1"));
  EXPECT_EQ(tags, 21);
  // Buttons are 26 wide: the separator starts after two of them.
  EXPECT_EQ(sep.Left(), 52);
  EXPECT_EQ(b1.Height(), 24);
  b2.Hide();
  EXPECT_EQ(sep.Left(), 26);
  b1.SetEnabled(false);
  EXPECT_FALSE(kit.ClickNamed("ToolButton1"));
}

TEST_F(Widgets, MenusRunOnPopupFirstAndTheToolBarOpensItsMenuOnARightClick) {
  Form form(ControlKind::Window, nullptr, "Form");
  PopupMenu menu("PopupMenu2");
  MenuItem auto2(menu, "AutoCon2");
  MenuItem none2(auto2, "AutoNone2", MenuItemStyle::Radio);
  MenuItem zoom2(menu, "AutoZoom2", MenuItemStyle::Check);
  ToolBar bar(form, "ToolBar1");
  bar.SetPopupMenu(&menu);
  int popups = 0;
  menu.OnPopup = [&](Control&) {
    ++popups;
    none2.SetChecked(true);
  };
  EXPECT_EQ(kit.GetInt(none2.Handle(), Prop::Style, 0), kStyleRadio);
  ASSERT_TRUE(kit.RightClick("ToolBar1"));
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(kit.OpenedMenu(), menu.Handle());
  EXPECT_TRUE(none2.Checked());
  bool chosen = false;
  none2.OnClick = [&](Control& sender) { chosen = &sender == &none2; };
  ASSERT_TRUE(kit.ClickNamed("AutoNone2"));
  EXPECT_TRUE(chosen);
}

TEST_F(Widgets, DestroyingAFormTakesItsControlsAndTheirOwnersStaySafe) {
  auto form = std::make_unique<Form>(ControlKind::Window, nullptr, "Form");
  ToolBar bar(*form, "ToolBar1");
  ToolButton button(bar, "ToolButton1");
  const std::size_t before = kit.Count();
  form.reset();
  EXPECT_EQ(kit.Count(), before - 3);
  EXPECT_FALSE(IsWindow(button.Handle()));
}  // the button and the bar go after their window: nothing to do

TEST_F(Widgets, AHandleOfAnotherCopyIsReachedThroughTheToolkit) {
  Form form(ControlKind::Window, nullptr, "Form");
  UINT got = 0;
  struct OtherCopy : WindowSink {
    UINT* got;
    LRESULT Deliver(HWND, UINT message, WPARAM, LPARAM) override {
      *got = message;
      return 42;
    }
  } other;
  other.got = &got;
  HWND foreign = kit.Create(ControlKind::Form, form.Handle(), "Foreign", &other);
  EXPECT_TRUE(IsWindow(foreign));
  EXPECT_EQ(GetParent(foreign), form.Handle());
  EXPECT_EQ(SendMessage(foreign, WM_USER + 123, 0, 0), 42);
  EXPECT_EQ(got, WM_USER + 123);
  EXPECT_TRUE(PostMessage(foreign, WM_USER + 7, 0, 0));
  ProcessMessages();
  EXPECT_EQ(got, WM_USER + 7);
  EXPECT_TRUE(DestroyWindow(foreign));
  EXPECT_FALSE(IsWindow(foreign));
}

// The module's timers tick while the program waits, and the other way round.
TEST_F(Widgets, WaitingRunsWhatAnotherCopyHasDueAndWakesForIt) {
  struct OtherCopy final : MessagePump {
    std::chrono::steady_clock::time_point due = std::chrono::steady_clock::now() +
                                                std::chrono::milliseconds(40);
    int ran = 0;
    int RunPending() override {
      if (ran || std::chrono::steady_clock::now() < due) return 0;
      return ++ran;
    }
    int MsUntilDue(int limit) override {
      if (ran) return limit;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          due - std::chrono::steady_clock::now());
      return std::max(0, std::min(limit, static_cast<int>(left.count())));
    }
  } other;
  kit.AddPump(&other);
  const auto start = std::chrono::steady_clock::now();
  while (!other.ran && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
    WaitMessage(10000);
  kit.RemovePump(&other);
  EXPECT_EQ(other.ran, 1);
  // Woken for it, not after the ten seconds asked for.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(Widgets, ATimerRunsWhileEnabledAndRestartsItsIntervalWhenEnabledAgain) {
  Timer timer;
  timer.SetInterval(30);
  int ticks = 0;
  timer.OnTimer = [&](Timer& t) {
    ++ticks;
    t.SetEnabled(false);
  };
  const auto start = std::chrono::steady_clock::now();
  timer.SetEnabled(true);
  while (ticks == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
    WaitMessage(100);
  EXPECT_EQ(ticks, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  WaitMessage(60);
  EXPECT_EQ(ticks, 1);  // stopped by its handler
}

TEST_F(Widgets, AModalFormRunsUntilItsResultIsSetAndAClosedOneIsCancelled) {
  Form owner(ControlKind::Window, nullptr, "Owner");
  Form dialog(ControlKind::Dialog, owner.Handle(), "Dialog");
  PostMessage(dialog.Handle(), QM_CLICK, 0, 0);
  dialog.OnClick = [&](Control&) { dialog.SetModalResult(mrOk); };
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(kit.GetInt(dialog.Handle(), Prop::Modal, 0), 0);
  PostMessage(dialog.Handle(), QM_CLOSEQUERY, 0, 0);
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  int asked = 0;
  dialog.OnCloseQuery = [&](Form&) { return ++asked > 1; };
  PostMessage(dialog.Handle(), QM_CLOSEQUERY, 0, 0);
  PostMessage(dialog.Handle(), QM_CLOSEQUERY, 0, 0);
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
}

TEST_F(Widgets, AHintShowsItsTextWhereItIsPut) {
  HintWindow hint("ZoomHint");
  hint.ActivateHint({100, 50, 140, 66}, u"120%");
  EXPECT_TRUE(hint.Visible());
  EXPECT_EQ(hint.Caption(), u"120%");
  EXPECT_EQ(hint.Left(), 100);
  EXPECT_EQ(hint.Width(), 40);
  hint.ReleaseHandle();
  EXPECT_FALSE(hint.Visible());
}

TEST_F(Widgets, MessageBoxesGoToTheToolkitOnceItIsThereAndTakeQueuedAnswers) {
  kit.QueueAnswer(IDNO);
  EXPECT_EQ(MessageBox(u"Go on?", u"Quillmer", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBox(u"Go on?", u"Quillmer", MB_YESNO), IDYES);
  ASSERT_EQ(kit.Boxes().size(), 2u);
  EXPECT_EQ(kit.Boxes()[0].caption, "Quillmer");
}

}  // namespace
}  // namespace quillmer
