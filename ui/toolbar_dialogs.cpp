#include "ui/toolbar_dialogs.h"

#include "ui/autozoom_form.h"
#include "ui/options_form.h"

namespace quillmer {

ToolbarDialogMakers ProductToolbarDialogs() { return {MakeOptionsDialog, MakeAutoZoomUrlDialog}; }

}  // namespace quillmer
