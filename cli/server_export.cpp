#include "cli/server_export.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/com/activation.h"
#include "platform/com/errorinfo.h"
#include "platform/com/hresult.h"
#include "platform/win32/dialogs.h"

namespace quillmer::cli {
namespace {

// Where `cmake --install` puts the module, relative to the program.
constexpr const char* kInstalledModule = "../lib/quillmer/Quillmer.so";

}  // namespace

std::string ServerModuleArgument(const std::vector<std::string>& args) {
  std::string path;
  if (!args.empty()) {
    path = args.front();
  } else {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string program = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
    // Beside the program in a build tree; under lib/quillmer/ once installed.
    std::string dir = program.substr(0, program.rfind('/') + 1);
    path = dir + "Quillmer.so";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && ::stat((dir + kInstalledModule).c_str(), &st) == 0)
      path = dir + kInstalledModule;
  }
  if (!path.empty() && path[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
  }
  return path;
}

int CallServerExport(const std::string& module, const char* exportName) {
  struct stat st {};
  if (::stat(module.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return Fail("no module at " + module);
  ServerModule loaded(module);
  auto call = reinterpret_cast<DllRegisterServerFn>(loaded.Export(exportName));
  if (!call) return Fail(module + " has no " + exportName + " export");
  SetErrorInfo(0, nullptr);
  HRESULT hr = call();
  if (FAILED(hr)) {
    // The module says what failed through the thread's error information.
    std::string why = HResultText(hr);
    ComPtr<IErrorInfo> info;
    std::u16string description;
    if (GetErrorInfo(0, info.put()) == S_OK && SUCCEEDED(info->GetDescription(&description)) &&
        !description.empty())
      why = ToUtf8(description);
    return Fail(std::string(exportName) + " in " + module + " failed: " + why);
  }
  return kExitOk;
}

}  // namespace quillmer::cli
