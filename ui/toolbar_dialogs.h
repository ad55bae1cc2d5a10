// The two dialogs the toolbar opens, as the toolbar sees them: the options
// dialog and the dialog that adds a page's URL to the auto-zoom list. The
// toolbar makes one through the module's makers, shows it modally and frees
// it; the process-wide pointers say which one is open.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace quillmer {

class TBandForm;

class ToolbarDialog {
 public:
  virtual ~ToolbarDialog() = default;
  // The toolbar the dialog updates when it applies its changes.
  virtual void SetToolbar(TBandForm* toolbar) = 0;
  // Returns the modal result (widgets/form.h: mrOk, mrCancel …).
  virtual int ShowModal() = 0;
};

class OptionsDialog : public ToolbarDialog {};

class AutoZoomUrlDialog : public ToolbarDialog {
 public:
  // The pattern offered for the page (ANSI code page, as the list holds it).
  virtual void SetUrl(const std::string& pattern) = 0;
  virtual void SetZoom(int percent) = 0;
};

// How the toolbar makes its dialogs, with the toolbar as their owner.
struct ToolbarDialogMakers {
  std::function<std::unique_ptr<OptionsDialog>(TBandForm& owner)> options;
  std::function<std::unique_ptr<AutoZoomUrlDialog>(TBandForm& owner)> autoZoomUrl;
};

// The product's dialogs: the options dialog and the auto-zoom URL dialog.
ToolbarDialogMakers ProductToolbarDialogs();

}  // namespace quillmer
