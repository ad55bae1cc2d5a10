#include "com/lifetime.h"

#include <errno.h>
#include <limits.h>
#include <unistd.h>

#include "com/band.h"
#include "com/conface.h"
#include "com/helper.h"
#include "com/server.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

// A function static: the module's load runs before the initializers of other
// units, so nothing here may wait for them.
std::unique_ptr<ServerState>& Current() {
  static std::unique_ptr<ServerState> server;
  return server;
}

std::string ProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// The host's executable, or the name it was started under: a link named
// explorer.exe runs as that host too.
std::uint8_t HostFlag() {
  if (std::uint8_t flag = HostCheck(ProgramPath())) return flag;
  return program_invocation_name ? HostCheck(program_invocation_name) : 0;
}

}  // namespace

ServerState* CurrentServer() { return Current().get(); }

void ServerLoad(std::string modulePath) {
  if (Current()) return;
  Current() =
      std::make_unique<ServerState>(modulePath.empty() ? ModuleFileName() : std::move(modulePath));
  ServerState& server = *Current();
  try {
    // Browser helper unit.
    server.hostIsExplorer = HostFlag();
    server.factories.Add(MakeHelperFactory());
    // Band unit: the settings' load sequence makes the band factory last.
    RunLoadSequence(
        [&server](std::u16string_view caption) { server.factories.Add(MakeBandFactory(caption)); });
    // Page conversion asks a window's helper to connect a converted page's forms.
    if (ModuleState* module = CurrentModule()) module->connectFormEvents = HelperFormConnector();
    // Automation unit.
    server.factories.Add(MakeConFaceFactory(server));
    server.status = ServerState::Status::Loaded;
  } catch (const std::exception& e) {
    RunUnloadSequence();
    server.factories.Clear();
    server.typeLib = nullptr;
    server.status = ServerState::Status::Failed;
    server.loadError = e.what();
    MessageBox(FromUtf8(server.loadError), kProductCaption, MB_OK | MB_ICONERROR);
  }
}

void ServerUnload() {
  if (!Current()) return;
  if (Current()->status == ServerState::Status::Loaded) {
    RunUnloadSequence();
    Current()->factories.Clear();
    Current()->typeLib = nullptr;
  }
  Current().reset();
}

bool ServerLoaded() { return Current() && Current()->status == ServerState::Status::Loaded; }
std::string ServerLoadError() { return Current() ? Current()->loadError : std::string(); }

}  // namespace quillmer
