#include "com/server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "com/band.h"
#include "com/conface.h"
#include "com/helper.h"
#include "com/lifetime.h"
#include "com/site.h"
#include "page/context_menu.h"
#include "platform/win32/module.h"
#include "tests/com/com_fixture.h"
#include "ui/shared_settings.h"

namespace quillmer {
namespace {

using testing::ServerFixture;

const std::string kBand = "{5E2B9C41-7A1D-4F36-9C81-2D47B6A0E310}";
const std::string kHelper = "{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}";
const std::string kConFace = "{8B6F0D23-3C95-4E7A-A2D4-61C9E5F08B72}";
const std::string kLibid = "{5E2B9C40-7A1D-4F36-9C81-2D47B6A0E310}";
const std::string kMenuExt = "Software\\Microsoft\\Internet Explorer\\MenuExt\\";

class ServerTest : public ServerFixture {};

TEST_F(ServerTest, ServesTheThreeClassesNewestFactoryFirst) {
  std::vector<std::string> order;
  CurrentServer()->factories.ForEach([&](TComObjectFactory& f) {
    order.push_back(GuidToString(f.ClassID()) + " " + ToUtf8(f.ProgID()));
  });
  EXPECT_EQ(order, (std::vector<std::string>{kConFace + " Quillmer.ConFace", kBand + " ",
                                             kHelper + " Quillmer.Quillmer_Helper"}));
  EXPECT_EQ(FindFactory(CLSID_ConFace)->Description(), u"ConFace Object");
  EXPECT_EQ(FindFactory(CLSID_BrowserBand)->Description(), u"Quillmer");

  for (const CLSID& c : {CLSID_ConFace, CLSID_BrowserBand, CLSID_IEBrowserHelper}) {
    ComPtr<IClassFactory> f;
    EXPECT_EQ(S_OK, ServerGetClassObject(c, IID_OF(IClassFactory), f.put_void()));
  }
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, ServerGetClassObject(LIBID_Quillmer, IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
  ComPtr<IDispatch> notAFactoryInterface;
  EXPECT_EQ(E_NOINTERFACE,
            ServerGetClassObject(CLSID_ConFace, IID_IDispatch, notAFactoryInterface.put_void()));
}

TEST_F(ServerTest, CannotUnloadWhileObjectsFactoriesOrLocksLive) {
  ASSERT_EQ(S_OK, ServerCanUnloadNow());
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK,
            ServerGetClassObject(CLSID_BrowserBand, IID_OF(IClassFactory), factory.put_void()));
  EXPECT_EQ(S_FALSE, ServerCanUnloadNow());

  for (const CLSID& c : {CLSID_BrowserBand, CLSID_IEBrowserHelper, CLSID_ConFace}) {
    ComPtr<IClassFactory> f;
    ASSERT_EQ(S_OK, ServerGetClassObject(c, IID_OF(IClassFactory), f.put_void()));
    ComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, f->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
    f.reset();
    factory.reset();
    EXPECT_EQ(S_FALSE, ServerCanUnloadNow()) << GuidToString(c);
    object.reset();
    EXPECT_EQ(S_OK, ServerCanUnloadNow()) << GuidToString(c);
    ASSERT_EQ(S_OK,
              ServerGetClassObject(CLSID_BrowserBand, IID_OF(IClassFactory), factory.put_void()));
  }

  // A lock keeps the server even when nobody holds the factory.
  factory->LockServer(true);
  factory.reset();
  EXPECT_EQ(S_FALSE, ServerCanUnloadNow());
  FindFactory(CLSID_BrowserBand)->LockServer(false);
  EXPECT_EQ(S_OK, ServerCanUnloadNow());
  // An unlock without a lock does not count below what lives.
  FindFactory(CLSID_BrowserBand)->LockServer(false);
  ComPtr<IUnknown> band;
  FindFactory(CLSID_BrowserBand)->CreateInstance(nullptr, IID_IUnknown, band.put_void());
  EXPECT_EQ(S_FALSE, ServerCanUnloadNow());
  band.reset();
  EXPECT_EQ(S_OK, ServerCanUnloadNow());
}

TEST_F(ServerTest, CreateInstanceChecksItsArgumentsAndDropsAnObjectItCannotHandOut) {
  TComObjectFactory* f = FindFactory(CLSID_IEBrowserHelper);
  EXPECT_EQ(E_POINTER, f->CreateInstance(nullptr, IID_IUnknown, nullptr));
  ComPtr<IUnknown> outer;
  f->CreateInstance(nullptr, IID_IUnknown, outer.put_void());
  ComPtr<IObjectWithSite> site;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            f->CreateInstance(outer.get(), IID_IObjectWithSite, site.put_void()));
  outer.reset();

  ComPtr<IConFace> none;
  EXPECT_EQ(E_NOINTERFACE, f->CreateInstance(nullptr, IID_IConFace, none.put_void()));
  EXPECT_EQ(0, ServerObjectCount());

  ASSERT_EQ(S_OK, f->CreateInstance(nullptr, IID_IObjectWithSite, site.put_void()));
  auto errors = site.query<ISupportErrorInfo>();
  ASSERT_TRUE(errors);
  EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(IID_IObjectWithSite));
  EXPECT_EQ(S_FALSE, errors->InterfaceSupportsErrorInfo(IID_IConFace));
  ComPtr<IUnknown> got;
  EXPECT_EQ(E_FAIL, site->GetSite(IID_IUnknown, got.put_void()));
  ComPtr<IUnknown> host;
  f->CreateInstance(nullptr, IID_IUnknown, host.put_void());
  site->SetSite(host.get());
  EXPECT_EQ(S_OK, site->GetSite(IID_IUnknown, got.put_void()));
  EXPECT_TRUE(IsSameObject(got.get(), host.get()));
}

// The helper and the band keep their site alike: handed back as given, let
// go on a null site, and a null out pointer is refused.
TEST_F(ServerTest, TheHelperHoldsItsSiteAndTheBandRefusesOneWithoutAWindow) {
  for (const CLSID& clsid : {CLSID_IEBrowserHelper, CLSID_BrowserBand}) {
    TComObjectFactory* f = FindFactory(clsid);
    ASSERT_TRUE(f);
    ComPtr<IObjectWithSite> site;
    ASSERT_EQ(S_OK, f->CreateInstance(nullptr, IID_IObjectWithSite, site.put_void()));
    EXPECT_EQ(clsid == CLSID_IEBrowserHelper ? E_POINTER : E_FAIL,
              site->GetSite(IID_IUnknown, nullptr));
    ComPtr<IUnknown> host;
    f->CreateInstance(nullptr, IID_IUnknown, host.put_void());
    // Neither finds what it needs in a site without services or a window,
    // and says so; the helper keeps the site all the same.
    EXPECT_EQ(E_FAIL, site->SetSite(host.get()));
    ComPtr<IObjectWithSite> asked;
    if (clsid == CLSID_IEBrowserHelper) {
      EXPECT_EQ(S_OK, site->GetSite(IID_IObjectWithSite, asked.put_void()));
      EXPECT_TRUE(IsSameObject(asked.get(), host.get()));
      EXPECT_EQ(S_OK, site->SetSite(nullptr));
    } else {
      EXPECT_EQ(E_FAIL, site->GetSite(IID_IObjectWithSite, asked.put_void()));
    }
    ComPtr<IUnknown> gone;
    EXPECT_EQ(E_FAIL, site->GetSite(IID_IUnknown, gone.put_void()));
    EXPECT_FALSE(gone);
  }
}

// The helper is found by one identity in the registry, in the browser's
// property and as a class.
TEST(Identities, TheHelperHasOneIdentityEverywhere) {
  EXPECT_EQ(GuidToString(CLSID_IEBrowserHelper), kHelperClsid);
  EXPECT_EQ(std::string(kHelperProperty.begin(), kHelperProperty.end()), kHelperClsid);
  EXPECT_EQ(GuidToString(CLSID_BrowserBand), kBandClsid);
  EXPECT_EQ(GuidToString(CLSID_ConFace), kConFaceClsid);
}

class FailingFactory final : public TComObjectFactory {
 public:
  FailingFactory()
      : TComObjectFactory(MakeGuid("{11111111-2222-3333-4444-555555555555}"), u"X", u"X") {}

 protected:
  ComPtr<IUnknown> CreateComObject() override { throw Error("out of handles", E_HANDLE); }
};

TEST_F(ServerTest, AnObjectThatCannotBeMadeIsReportedInADaxErrorBox) {
  FailingFactory f;
  ComPtr<IUnknown> object;
  EXPECT_EQ(E_UNEXPECTED, f.CreateInstance(nullptr, IID_IUnknown, object.put_void()));
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(u"DAX Error", boxes[0].caption);
  EXPECT_EQ(u"out of handles", boxes[0].text);
}

TEST_F(ServerTest, RegistrationWritesEveryClassTheTypeLibraryAndTheBrowserEntries) {
  ASSERT_EQ(S_OK, ServerRegister());
  const std::string path = modulePath;
  for (const auto& [clsid, description] :
       {std::pair{kConFace, "ConFace Object"}, {kHelper, "Quillmer_Helper"}, {kBand, "Quillmer"}}) {
    EXPECT_EQ(description, Value(HKEY_CLASSES_ROOT, "CLSID\\" + clsid));
    EXPECT_EQ(path, Value(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32"));
    EXPECT_EQ("Apartment",
              Value(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel"));
  }
  EXPECT_EQ(kConFace, Value(HKEY_CLASSES_ROOT, "Quillmer.ConFace\\Clsid"));
  EXPECT_EQ("ConFace Object", Value(HKEY_CLASSES_ROOT, "Quillmer.ConFace"));
  EXPECT_EQ("Quillmer.ConFace", Value(HKEY_CLASSES_ROOT, "CLSID\\" + kConFace + "\\ProgID"));
  EXPECT_EQ("1.0", Value(HKEY_CLASSES_ROOT, "CLSID\\" + kConFace + "\\Version"));
  EXPECT_EQ(kLibid, Value(HKEY_CLASSES_ROOT, "CLSID\\" + kConFace + "\\TypeLib"));
  EXPECT_EQ(kHelper, Value(HKEY_CLASSES_ROOT, "Quillmer.Quillmer_Helper\\Clsid"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kBand + "\\ProgID"));

  EXPECT_EQ(path, Value(HKEY_CLASSES_ROOT, "TypeLib\\" + kLibid + "\\1.0\\409\\win32"));
  EXPECT_EQ("Quillmer Library", Value(HKEY_CLASSES_ROOT, "TypeLib\\" + kLibid + "\\1.0"));
  EXPECT_EQ("/opt/quillmer/", Value(HKEY_CLASSES_ROOT, "TypeLib\\" + kLibid + "\\1.0\\HELPDIR"));

  EXPECT_EQ("Quillmer", Value(HKEY_LOCAL_MACHINE, std::string(kToolbarKey), kBand));
  EXPECT_EQ("Quillmer_Helper",
            Value(HKEY_LOCAL_MACHINE, std::string(kBrowserHelperObjectsKey) + kHelper));

  const std::string entry = kMenuExt + "Display:  Traditional Chinese";
  EXPECT_EQ("res://" + path + "/RT_HTML/PageToTrad", Value(HKEY_CURRENT_USER, entry));
  EXPECT_EQ(std::string("\x01\0\0\0", 4), Value(HKEY_CURRENT_USER, entry, "Context"));
  EXPECT_EQ(std::string(4, '\0'), Value(HKEY_CURRENT_USER, entry, "Flags"));
  EXPECT_EQ("res://" + path + "/RT_HTML/ClipToSim",
            Value(HKEY_CURRENT_USER, kMenuExt + "Clipboard: Trad > Simp Chinese"));
}

TEST_F(ServerTest, RegisteringTwiceEqualsOnceAndUnregisteringLeavesNoKeyOfOurs) {
  ASSERT_EQ(S_OK, ServerRegister());
  const std::string once = ExportRegistry();
  ASSERT_EQ(S_OK, ServerRegister());
  EXPECT_EQ(once, ExportRegistry());

  ASSERT_EQ(S_OK, ServerUnregister());
  const std::string after = ExportRegistry();
  for (const std::string& ours :
       {kBand, kHelper, kConFace, kLibid, std::string("{8B6F0D21-3C95-4E7A-A2D4-61C9E5F08B72}"),
        std::string("Quillmer."), std::string("Display:"), std::string("Clipboard:")})
    EXPECT_EQ(std::string::npos, after.find(ours)) << ours << " in\n" << after;
  // Unregistering again finds nothing to do and says so no differently.
  EXPECT_EQ(S_OK, ServerUnregister());
}

TEST_F(ServerTest, AModulePathWithASpaceIsRegisteredByItsShortFormButPagesByTheLongOne) {
  std::filesystem::create_directories(home / "my modules");
  modulePath = (home / "my modules" / "Quillmer.so").string();
  testing::WriteAll(modulePath, "module");
  SetModulePath(modulePath);
  ASSERT_EQ(S_OK, ServerRegister());
  const std::string inproc = Value(HKEY_CLASSES_ROOT, "CLSID\\" + kConFace + "\\InprocServer32");
  EXPECT_EQ(std::string::npos, inproc.find(' ')) << inproc;
  EXPECT_TRUE(std::filesystem::equivalent(inproc, modulePath)) << inproc;
  EXPECT_EQ("res://" + modulePath + "/RT_HTML/PageToSim",
            Value(HKEY_CURRENT_USER, kMenuExt + "Display:  Simplified Chinese"));
}

// What the last failed export said, through the thread's error information.
std::string LastError() {
  ComPtr<IErrorInfo> info;
  std::u16string text;
  if (GetErrorInfo(0, info.put()) != S_OK) return "<none>";
  info->GetDescription(&text);
  return ToUtf8(text);
}

std::string RegistryText(const std::string& file) { return testing::ReadAll(file); }

TEST_F(ServerTest, AFailedWriteFailsRegistrationAndLeavesTheStoreAsItWas) {
  const std::string file = RegistryFilePath();
  testing::WriteAll(file, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Mine]\n@=\"kept\"\n");
  const std::string before = RegistryText(file);
  SetRegistryFaultHook([](RegOp op, std::string_view path) {
    return op == RegOp::Write && path.find("Quillmer.ConFace") != std::string_view::npos
               ? ERROR_ACCESS_DENIED
               : ERROR_SUCCESS;
  });
  EXPECT_EQ(E_FAIL, ServerRegister());
  const std::string why = LastError();
  EXPECT_NE(std::string::npos, why.find("Error creating system registry entry")) << why;
  EXPECT_NE(std::string::npos, why.find("Quillmer.ConFace")) << why;
  EXPECT_NE(std::string::npos, why.find(file)) << why;
  SetRegistryFaultHook({});
  EXPECT_EQ(before, RegistryText(file));
  EXPECT_EQ("<none>", Value(HKEY_CLASSES_ROOT, "CLSID\\" + kConFace));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + kLibid));
  EXPECT_EQ("kept", Value(HKEY_CURRENT_USER, "Mine"));
}

TEST_F(ServerTest, UnregistrationFailsWhenTheStoreRefusesAndThenEveryKeyStays) {
  ASSERT_EQ(S_OK, ServerRegister());
  const std::string file = RegistryFilePath();
  const std::string registered = RegistryText(file);

  // A deletion the store refuses.
  SetRegistryFaultHook([](RegOp op, std::string_view path) {
    return op == RegOp::Write && path.find("Browser Helper Objects") != std::string_view::npos
               ? ERROR_WRITE_FAULT
               : ERROR_SUCCESS;
  });
  EXPECT_EQ(E_FAIL, ServerUnregister());
  EXPECT_NE(std::string::npos, LastError().find("Browser Helper Objects"));
  SetRegistryFaultHook({});
  EXPECT_EQ(registered, RegistryText(file));

  // A read-only file.
  ::chmod(file.c_str(), 0444);
  EXPECT_EQ(E_FAIL, ServerUnregister());
  EXPECT_NE(std::string::npos, LastError().find(file));
  EXPECT_EQ(registered, RegistryText(file));
  EXPECT_EQ(E_FAIL, ServerRegister());
  EXPECT_EQ(registered, RegistryText(file));
  ::chmod(file.c_str(), 0644);

  // A damaged file is neither read nor written.
  const std::string damaged = registered + "[HKEY_NOWHERE]\n";
  testing::WriteAll(file, damaged);
  EXPECT_EQ(E_FAIL, ServerUnregister());
  EXPECT_NE(std::string::npos, LastError().find("damaged")) << LastError();
  EXPECT_EQ(E_FAIL, ServerRegister());
  EXPECT_EQ(damaged, RegistryText(file));

  // Keys that are already gone are no failure, even where nothing may be written.
  testing::WriteAll(file, registered);
  EXPECT_EQ(S_OK, ServerUnregister());
  EXPECT_EQ("<none>", Value(HKEY_CLASSES_ROOT, "CLSID\\" + kConFace));
  ::chmod(file.c_str(), 0444);
  EXPECT_EQ(S_OK, ServerUnregister());
}

TEST_F(ServerTest, AModulePathTheAnsiCodePageCannotHoldIsRegisteredByAnAliasOrNotAtAll) {
  std::filesystem::create_directories(home / "模块");
  modulePath = (home / "模块" / "Quillmer.so").string();
  testing::WriteAll(modulePath, "module");
  SetModulePath(modulePath);
  ASSERT_EQ(S_OK, ServerRegister()) << LastError();
  const std::string inproc = Value(HKEY_CLASSES_ROOT, "CLSID\\" + kConFace + "\\InprocServer32");
  EXPECT_EQ(std::string::npos, inproc.find('?')) << inproc;
  EXPECT_TRUE(std::filesystem::equivalent(inproc, modulePath)) << inproc;
  const std::string page = Value(HKEY_CURRENT_USER, kMenuExt + "Display:  Simplified Chinese");
  EXPECT_EQ(std::string::npos, page.find('?')) << page;
  EXPECT_TRUE(page.starts_with("res://") && page.ends_with("/RT_HTML/PageToSim")) << page;
  EXPECT_TRUE(std::filesystem::equivalent(page.substr(6, page.size() - 6 - 18), modulePath));

  // No alias for a module that is not there: a clear failure, nothing written.
  ASSERT_EQ(S_OK, ServerUnregister());
  const std::string before = RegistryText(RegistryFilePath());
  SetModulePath((home / "缺少" / "Quillmer.so").string());
  EXPECT_EQ(E_FAIL, ServerRegister());
  EXPECT_NE(std::string::npos, LastError().find("code page 1252")) << LastError();
  EXPECT_EQ(before, RegistryText(RegistryFilePath()));
}

TEST_F(ServerTest, HostIsExplorerOnlyUnderExplorer) {
  EXPECT_EQ(2, HostCheck("C:\\Windows\\explorer.exe"));
  EXPECT_EQ(2, HostCheck("/usr/lib/wine/EXPLORER.EXE"));
  EXPECT_EQ(2, HostCheck("explorer.exe"));
  EXPECT_EQ(0, HostCheck("/usr/bin/quillmer"));
  EXPECT_EQ(0, HostCheck("iexplore.exe"));
  EXPECT_EQ(0, HostCheck("/x/explorer.exe.old"));
}

class TraditionalServerTest : public ServerFixture {
 public:
  TraditionalServerTest() { acp = "950"; }
};

TEST_F(TraditionalServerTest, EntriesCarryTheLanguageOfRegistrationAndStayUnderAnother) {
  EXPECT_EQ(u"繁簡轉換", FindFactory(CLSID_BrowserBand)->Description());
  ASSERT_EQ(S_OK, ServerRegister());
  const std::string big5 = EncodeCodePage(950, u"網頁:  [繁體] 顯示");
  EXPECT_EQ("res://" + modulePath + "/RT_HTML/PageToTrad",
            Value(HKEY_CURRENT_USER, kMenuExt + big5));
  // The band's key holds "Quillmer", not its caption.
  EXPECT_EQ("Quillmer", Value(HKEY_CLASSES_ROOT, "CLSID\\" + kBand));

  // Unregistered by an English system, the Traditional entries stay.
  ServerUnload();
  ::setenv("QUILLMER_ACP", "1252", 1);
  ServerLoad(modulePath);
  ASSERT_EQ(S_OK, ServerUnregister());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kBand));
  ::setenv("QUILLMER_ACP", "950", 1);  // key names are read in the system's code page
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kMenuExt + big5));
}

class UnloadedServerTest : public ServerFixture {
 public:
  UnloadedServerTest() { loadServer = false; }
};

TEST_F(UnloadedServerTest, AFailedLoadIsShownAndTheModuleServesNothing) {
  std::filesystem::create_directory(home / "Quillmer.ini");
  ServerLoad();
  EXPECT_FALSE(ServerLoaded());
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(u"Quillmer", boxes[0].caption);
  ComPtr<IClassFactory> f;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            ServerGetClassObject(CLSID_IEBrowserHelper, IID_OF(IClassFactory), f.put_void()));
  EXPECT_EQ(E_FAIL, ServerRegister());
  EXPECT_EQ(S_OK, ServerCanUnloadNow());
}

// A failed load keeps its state until the unload; a second load meanwhile
// changes nothing, and the unload leaves no server behind.
TEST_F(UnloadedServerTest, AFailedLoadStaysUntilTheUnloadAndNothingIsServedAfterIt) {
  std::filesystem::create_directory(home / "Quillmer.ini");
  ServerLoad(modulePath);
  ServerLoad(modulePath);
  EXPECT_EQ(1u, boxes.size());
  ASSERT_NE(nullptr, CurrentServer());
  EXPECT_EQ(ServerState::Status::Failed, CurrentServer()->status);
  EXPECT_FALSE(ServerLoadError().empty());
  EXPECT_EQ(nullptr, ServerTypeLib());

  ServerUnload();
  EXPECT_EQ(nullptr, CurrentServer());
  EXPECT_EQ(0, HostIsExplorer());
  EXPECT_EQ("", ServerLoadError());
  EXPECT_EQ(nullptr, FindFactory(CLSID_ConFace));
  ComPtr<IClassFactory> f;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            ServerGetClassObject(CLSID_ConFace, IID_OF(IClassFactory), f.put_void()));
  EXPECT_EQ(E_FAIL, ServerUnregister());
  EXPECT_EQ(u"Quillmer", ServerName());
}

TEST_F(UnloadedServerTest, ATypeLibraryThatDoesNotDescribeIConFaceStopsTheLoad) {
  std::string text(*LoadModuleResource("1", RT_TYPELIB));
  const std::string from = "method 6 Str2Trad", to = "method 7 Str2Trad";
  text.replace(text.find(from), from.size(), to);
  SetResourceOverride("1", RT_TYPELIB, text);
  ServerLoad();
  EXPECT_FALSE(ServerLoaded());
  EXPECT_NE(std::string::npos, ServerLoadError().find("IConFace")) << ServerLoadError();

  ServerUnload();
  SetResourceOverride("1", RT_TYPELIB, std::nullopt);
  ServerLoad();
  EXPECT_NE(std::string::npos, ServerLoadError().find("no type library")) << ServerLoadError();
}

}  // namespace
}  // namespace quillmer
