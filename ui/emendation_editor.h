// How the options dialog opens the text emendation editor: through a maker
// the module keeps, so that the options dialog does not depend on the
// editor's form. Until an editor is built in, the maker is empty and the
// options dialog says so.
#pragma once

#include <functional>
#include <memory>

#include "platform/base/types.h"

namespace quillmer {

class ModuleState;

// 0: user_b5fix.dat (Simplified to Traditional, Big5); 1: user_gbfix.dat
// (Traditional to Simplified, GBK).
enum class EmendationMode : int { B5fix = 0, GBfix = 1 };

class EmendationEditor {
 public:
  virtual ~EmendationEditor() = default;
  // Returns the modal result (widgets/form.h).
  virtual int ShowModal() = 0;
  // Whether the editor wrote its table to disk: the engine's tables are then
  // rebuilt when the options dialog closes.
  virtual bool TableSaved() const = 0;
};

// owner: the options dialog's window, which the editor stays over.
using EmendationEditorMaker =
    std::function<std::unique_ptr<EmendationEditor>(ModuleState& module, HWND owner,
                                                    EmendationMode mode)>;

}  // namespace quillmer
