#include "ui/toolbar_dialogs.h"

#include <cstdio>

#include "ui/autozoom_form.h"
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

}  // namespace

ToolbarDialogMakers NoToolbarDialogs() {
  return {[](TBandForm&) { return std::make_unique<NoOptionsDialog>(); },
          MakeAutoZoomUrlDialog};
}

}  // namespace quillmer
