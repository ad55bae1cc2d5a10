// A loaded server in a temporary home and registry, for the COM server tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "com/lifetime.h"
#include "com/server.h"
#include "engine/tables.h"
#include "platform/com/com.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "tests/cli/run_program.h"

namespace quillmer::testing {

class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUILLMER_HOME", home.path().c_str(), 1);
    ::setenv("QUILLMER_REGISTRY", (registry / "registry").c_str(), 1);
    ::setenv("QUILLMER_ACP", acp, 1);
    previous_ = SetMessageBoxHandler([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
    ClearFaults();
    if (loadServer) ServerLoad(modulePath);
  }
  void TearDown() override {
    ServerUnload();
    ClearFaults();
    ClearResourceOverrides();
    SetRegistryFaultHook({});
    SetMessageBoxHandler(std::move(previous_));
    ResetTables();
    for (const char* v : {"QUILLMER_HOME", "QUILLMER_REGISTRY", "QUILLMER_ACP"}) ::unsetenv(v);
  }

  // Another file for the loaded server to register.
  static void SetModulePath(std::string path) { CurrentServer()->modulePath = std::move(path); }

  // The default value (or the named one) of a key, without its zero; "<none>"
  // when the key or value is missing.
  static std::string Value(HKEY root, const std::string& key, const std::string& name = "") {
    RegKey k;
    if (RegOpenKeyEx(root, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return "<none>";
    std::string data;
    DWORD type = 0;
    if (RegQueryValueEx(k.get(), name, &type, &data) != ERROR_SUCCESS) return "<none>";
    if (type == REG_SZ && !data.empty() && data.back() == '\0') data.pop_back();
    return data;
  }
  static bool KeyExists(HKEY root, const std::string& key) {
    RegKey k;
    return RegOpenKeyEx(root, key, 0, KEY_READ, k.put()) == ERROR_SUCCESS;
  }

  const char* acp = "1252";
  bool loadServer = true;
  std::string modulePath = "/opt/quillmer/Quillmer.so";
  TempDir home, registry;
  std::vector<MessageBoxCall> boxes;

 private:
  MessageBoxHandler previous_;
};

}  // namespace quillmer::testing
