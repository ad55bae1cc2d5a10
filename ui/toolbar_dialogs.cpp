#include "ui/toolbar_dialogs.h"

#include <cstdio>

#include "widgets/form.h"

namespace quillmer {
namespace {

void SayMissing(const char* what) {
  std::fprintf(stderr, "quillmer: the %s is not available in this version\n", what);
}

class NoOptionsDialog final : public OptionsDialog {
 public:
  void SetToolbar(TBandForm*) override {}
  int ShowModal() override {
    SayMissing("options dialog");
    return mrCancel;
  }
};

class NoAutoZoomUrlDialog final : public AutoZoomUrlDialog {
 public:
  void SetToolbar(TBandForm*) override {}
  void SetUrl(const std::string&) override {}
  void SetZoom(int) override {}
  int ShowModal() override {
    SayMissing("auto-zoom URL dialog");
    return mrCancel;
  }
};

}  // namespace

ToolbarDialogMakers NoToolbarDialogs() {
  return {[](TBandForm&) { return std::make_unique<NoOptionsDialog>(); },
          [](TBandForm&) { return std::make_unique<NoAutoZoomUrlDialog>(); }};
}

}  // namespace quillmer
