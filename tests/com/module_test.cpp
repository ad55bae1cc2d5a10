// The built module itself, loaded as a host loads it.
#include "platform/win32/module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "com/conface.h"
#include "platform/com/activation.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/registry.h"
#include "platform/win32/resfile.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUILLMER_HOME", home.path().c_str(), 1);
    ::setenv("QUILLMER_REGISTRY", (home / "registry").c_str(), 1);
    ::setenv("QUILLMER_ACP", "1252", 1);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    for (const char* v : {"QUILLMER_HOME", "QUILLMER_REGISTRY", "QUILLMER_ACP"}) ::unsetenv(v);
  }
  // A copy of the module of its own, so that each test loads it afresh.
  std::string CopyModule(const std::string& dirName) {
    fs::create_directories(home / dirName);
    fs::path to = home / dirName / "Quillmer.so";
    fs::copy_file(QUILLMER_MODULE, to);
    return to.string();
  }
  static std::string Value(HKEY root, const std::string& key) {
    RegKey k;
    std::string data;
    DWORD type = 0;
    if (RegOpenKeyEx(root, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS ||
        RegQueryValueEx(k.get(), "", &type, &data) != ERROR_SUCCESS)
      return "<none>";
    if (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
  }
  static HRESULT Call(const ServerModule& m, const char* name) {
    auto fn = reinterpret_cast<DllRegisterServerFn>(m.Export(name));
    return fn ? fn() : E_NOTIMPL;
  }
  testing::TempDir home;
};

TEST_F(ModuleTest, ExportsExactlyTheFourEntryPoints) {
  std::string cmd = "nm -D --defined-only " + testing::ShellQuote(QUILLMER_MODULE);
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(nullptr, p);
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  ASSERT_EQ(0, ::pclose(p)) << out;
  std::set<std::string> names;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) names.insert(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ((std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                   "DllUnregisterServer"}),
            names);
}

TEST_F(ModuleTest, CarriesItsScriptPagesWhereOtherProgramsReadThem) {
  const std::string module = QUILLMER_MODULE;
  for (const char* name : {"PageToTrad", "PageToSim", "ClipToTrad", "ClipToSim"}) {
    auto page = LoadResourceFromModuleFile(module, name, "RT_HTML");
    ASSERT_TRUE(page) << name;
    EXPECT_EQ(*page, *LoadModuleResource(name, RT_HTML)) << name;
    EXPECT_EQ(8, std::count(page->begin(), page->end(), '\n')) << name;
    EXPECT_EQ(8, std::count(page->begin(), page->end(), '\r')) << name;
    EXPECT_EQ('>', page->back()) << name;  // no line end after the last line
  }
  EXPECT_EQ(
      "<html>\r\n<body>\r\n<script language=\"JavaScript\" defer>\r\n"
      "   var obj = new ActiveXObject(\"Quillmer.ConFace\");\r\n"
      "   obj.ConToTrad(external.menuArguments);\r\n   obj = null;\r\n"
      "</script>\r\n</body>\r\n</html>",
      *LoadResourceFromModuleFile(module, "pagetotrad", "23"));
  EXPECT_FALSE(LoadResourceFromModuleFile(module, "PageToNowhere", "RT_HTML"));
  try {
    LoadResourceFromModuleFile((home / "missing.so").string(), "PageToTrad", "RT_HTML");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(E_FILE_NOT_FOUND, e.code());
  }
  EXPECT_THROW(LoadResourceFromModuleFile(QUILLMER_BINARY, "PageToTrad", "RT_HTML"), Error);
  testing::WriteAll(home / "junk.so", std::string(100, 'x'));
  EXPECT_THROW(LoadResourceFromModuleFile((home / "junk.so").string(), "PageToTrad", "RT_HTML"),
               Error);
}

TEST_F(ModuleTest, ResUrlsNameModuleTypeAndResource) {
  auto r = ParseResUrl("res:///opt/my dir/Quillmer.so/RT_HTML/PageToTrad");
  ASSERT_TRUE(r);
  EXPECT_EQ("/opt/my dir/Quillmer.so", r->module);
  EXPECT_EQ("RT_HTML", r->type);
  EXPECT_EQ("PageToTrad", r->name);
  r = ParseResUrl("RES:///opt/Quillmer.so/#23/Page");
  ASSERT_TRUE(r);
  EXPECT_EQ("RT_HTML", r->type);
  r = ParseResUrl("res:///opt/Quillmer.so/Page");  // the type left out
  ASSERT_TRUE(r);
  EXPECT_EQ("/opt/Quillmer.so", r->module);
  EXPECT_EQ("RT_HTML", r->type);
  for (const char* bad : {"file:///opt/Quillmer.so/RT_HTML/P", "res://", "res:///x/", "res://P"})
    EXPECT_FALSE(ParseResUrl(bad)) << bad;
}

TEST_F(ModuleTest, LoadedFromAPathWithASpaceItRegistersAPathItCanBeLoadedBy) {
  const std::string module = CopyModule("Program Files");
  {
    ServerModule loaded(module);
    ASSERT_EQ(S_OK, Call(loaded, "DllRegisterServer"));
  }
  const std::string conface = "CLSID\\{8B6F0D23-3C95-4E7A-A2D4-61C9E5F08B72}\\InprocServer32";
  const std::string inproc = Value(HKEY_CLASSES_ROOT, conface);
  EXPECT_EQ(std::string::npos, inproc.find(' ')) << inproc;
  EXPECT_TRUE(fs::equivalent(inproc, module)) << inproc;
  EXPECT_EQ(
      "res://" + module + "/RT_HTML/PageToTrad",
      Value(HKEY_CURRENT_USER,
            "Software\\Microsoft\\Internet Explorer\\MenuExt\\Display:  Traditional Chinese"));

  // A client makes the object by its ProgID through the short path.
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(u"Quillmer.ConFace", &clsid));
  ComPtr<IDispatch> face;
  ASSERT_EQ(S_OK,
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, face.put_void()))
      << LastActivationError();
  VARIANT result;
  ASSERT_EQ(S_OK, InvokeByName(face.get(), u"Str2Trad", DISPATCH_METHOD, {VariantString(u"中华")},
                               &result));
  EXPECT_EQ(u"中華", result.bstrVal);

  // The module stays while the object lives.
  EXPECT_EQ(1, CoFreeUnusedLibraries());
  face.reset();
  EXPECT_EQ(0, CoFreeUnusedLibraries());

  ServerModule again(inproc);
  ASSERT_EQ(S_OK, Call(again, "DllUnregisterServer"));
  EXPECT_EQ("<none>", Value(HKEY_CLASSES_ROOT, conface));
}

TEST_F(ModuleTest, ErrorInformationSetInTheModuleReachesItsCallerAndOutlivesTheModule) {
  const std::string module = CopyModule("errors");
  {
    ServerModule loaded(module);
    ASSERT_EQ(S_OK, Call(loaded, "DllRegisterServer"));
  }
  // Without a display the module cannot open the clipboard.
  const char* display = std::getenv("DISPLAY");
  const std::string savedDisplay = display ? display : "";
  ::unsetenv("DISPLAY");
  ComPtr<IConFace> face;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConFace, nullptr, CLSCTX_INPROC_SERVER, IID_OF(IConFace),
                                   face.put_void()))
      << LastActivationError();
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, face->QueryInterface(IID_ISupportErrorInfo, support.put_void()));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_OF(IConFace)));
  SetErrorInfo(0, nullptr);
  EXPECT_TRUE(FAILED(face->ClipToTrad()));
  if (display) ::setenv("DISPLAY", savedDisplay.c_str(), 1);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(S_OK, GetErrorInfo(0, info.put()));
  support.reset();
  face.reset();
  EXPECT_EQ(0, CoFreeUnusedLibraries());  // the module is gone; its error is not
  std::u16string source, description;
  EXPECT_EQ(S_OK, info->GetSource(&source));
  EXPECT_EQ(S_OK, info->GetDescription(&description));
  EXPECT_EQ(u"Quillmer.ConFace", source);
  EXPECT_FALSE(description.empty());
  // Taken: the slot is empty again, for the module as for the program.
  ComPtr<IErrorInfo> again;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, again.put()));
}

TEST_F(ModuleTest, ConcurrentRegistrationsLeaveTheStoreWhollyRegisteredOrWhollyNot) {
  const std::string module = CopyModule("shared");
  const std::string env =
      "QUILLMER_HOME=" + testing::ShellQuote(home.path().string()) +
      " QUILLMER_REGISTRY=" + testing::ShellQuote((home / "registry").string()) +
      " QUILLMER_ACP=1252 timeout 120 " + testing::ShellQuote(QUILLMER_BINARY);
  const std::vector<std::string> keys = {
      "CLSID\\{8B6F0D23-3C95-4E7A-A2D4-61C9E5F08B72}\\InprocServer32", "Quillmer.ConFace\\Clsid",
      "CLSID\\{5E2B9C41-7A1D-4F36-9C81-2D47B6A0E310}\\InProcServer32",
      "Quillmer.Quillmer_Helper\\Clsid", "TypeLib\\{5E2B9C40-7A1D-4F36-9C81-2D47B6A0E310}"};
  const std::string helper =
      "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser Helper "
      "Objects\\{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}";
  for (int round = 0; round < 4; ++round) {
    std::string script;
    for (int i = 0; i < 8; ++i)
      for (const char* cmd : {" register ", " unregister "})
        script += "(" + env + cmd + testing::ShellQuote(module) + " || echo failed) & ";
    script += "wait";
    FILE* p = ::popen(script.c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::string out;
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    ::pclose(p);
    EXPECT_EQ("", out) << "round " << round;
    const bool registered = Value(HKEY_LOCAL_MACHINE, helper) != "<none>";
    for (const auto& key : keys) {
      RegKey k;
      EXPECT_EQ(registered,
                RegOpenKeyEx(HKEY_CLASSES_ROOT, key, 0, KEY_READ, k.put()) == ERROR_SUCCESS)
          << "round " << round << ": " << key;
    }
  }
  for (const auto& e : fs::directory_iterator(home.path()))
    EXPECT_EQ(std::string::npos, e.path().filename().string().find(".tmp")) << e.path();
}

TEST_F(ModuleTest, AModuleWhoseSettingsCannotBeReadServesNothing) {
  fs::create_directory(home / "Quillmer.ini");
  const std::string module = CopyModule("broken");
  ServerModule loaded(module);
  auto get = reinterpret_cast<DllGetClassObjectFn>(loaded.Export("DllGetClassObject"));
  ASSERT_TRUE(get);
  ComPtr<IClassFactory> f;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, get(CLSID_ConFace, IID_OF(IClassFactory), f.put_void()));
  EXPECT_EQ(E_FAIL, Call(loaded, "DllRegisterServer"));
  EXPECT_EQ("<none>", Value(HKEY_CLASSES_ROOT, "Quillmer.ConFace"));
}

TEST_F(ModuleTest, ClassesThatAreNotRegisteredOrWhoseModuleIsGoneAreNotMade) {
  ComPtr<IDispatch> object;
  CLSID clsid;
  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"Quillmer.ConFace", &clsid));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_ConFace, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IDispatch, object.put_void()));
  const std::string module = CopyModule("gone");
  {
    ServerModule loaded(module);
    ASSERT_EQ(S_OK, Call(loaded, "DllRegisterServer"));
  }
  fs::remove(module);
  ASSERT_EQ(S_OK, CLSIDFromProgID(u"quillmer.conface", &clsid));
  EXPECT_EQ(CO_E_DLLNOTFOUND, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                               object.put_void()));
  EXPECT_NE(std::string::npos, LastActivationError().find("gone/Quillmer.so"))
      << LastActivationError();
}

}  // namespace
}  // namespace quillmer
