#include "com/lifetime.h"

#include <limits.h>
#include <unistd.h>

#include "com/band.h"
#include "com/conface.h"
#include "com/helper.h"
#include "com/server.h"
#include "platform/win32/dialogs.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

enum class State { Unloaded, Loaded, Failed };
// Function statics: the module's load runs before the initializers of other
// units, so nothing here may wait for them.
State& CurrentState() {
  static State state = State::Unloaded;
  return state;
}
std::string& LoadError() {
  static std::string error;
  return error;
}

std::string ProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

void ServerLoad() {
  if (CurrentState() != State::Unloaded) return;
  try {
    // Browser helper unit.
    HostIsExplorer() = HostCheck(ProgramPath());
    AddFactory(MakeHelperFactory());
    // Band unit: the settings' load sequence makes the band factory last.
    RunLoadSequence([](std::u16string_view caption) { AddFactory(MakeBandFactory(caption)); });
    // Automation unit.
    AddFactory(MakeConFaceFactory());
    CurrentState() = State::Loaded;
    LoadError().clear();
  } catch (const std::exception& e) {
    RunUnloadSequence();
    DestroyFactories();
    SetServerTypeLib(nullptr);
    CurrentState() = State::Failed;
    LoadError() = e.what();
    MessageBox(FromUtf8(LoadError()), u"Quillmer", MB_OK | MB_ICONERROR);
  }
}

void ServerUnload() {
  if (CurrentState() == State::Loaded) {
    RunUnloadSequence();
    DestroyFactories();
    SetServerTypeLib(nullptr);
    HostIsExplorer() = 0;
  }
  CurrentState() = State::Unloaded;
}

bool ServerLoaded() { return CurrentState() == State::Loaded; }
std::string ServerLoadError() { return LoadError(); }

}  // namespace quillmer
