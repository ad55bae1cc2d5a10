#include "platform/com/typelib.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

constexpr std::string_view kLib =
    "# a test library\n"
    "library Test\n"
    "uuid {11111111-0000-0000-0000-000000000001}\n"
    "version 2.10\n"
    "lcid 0x0404\n"
    "helpstring \"A \\\"test\\\" library\"\n"
    "interface ITest : IDispatch\n"
    "uuid {11111111-0000-0000-0000-000000000002}\n"
    "flags dual\n"
    "method 7 Join([in] BSTR a, [in] long b, [out, retval] BSTR* Value)\n"
    "method 8 Flag([in] VARIANT_BOOL on, [in] IDispatch* with)\n"
    "coclass Test\n"
    "uuid {11111111-0000-0000-0000-000000000003}\n"
    "flags creatable\n"
    "default ITest\n";

HRESULT ParseHr(std::string_view text, std::string* message = nullptr) {
  try {
    ParseTypeLib(text);
    return S_OK;
  } catch (const Error& e) {
    if (message) *message = e.what();
    return e.code();
  }
}

TEST(TypeLibTest, DescribesTheLibraryItsInterfaceAndCoclass) {
  ComPtr<ITypeLib> lib = ParseTypeLib(kLib);
  TLIBATTR attr;
  ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
  EXPECT_EQ(0x404u, attr.lcid);
  EXPECT_EQ(2, attr.wMajorVerNum);
  EXPECT_EQ(10, attr.wMinorVerNum);
  std::u16string name, doc;
  lib->GetDocumentation(-1, &name, &doc);
  EXPECT_EQ(u"Test", name);
  EXPECT_EQ(u"A \"test\" library", doc);

  ComPtr<ITypeInfo> coclass, iface;
  ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(MakeGuid("{11111111-0000-0000-0000-000000000003}"),
                                         coclass.put()));
  ASSERT_EQ(S_OK, coclass->GetImplTypeInfo(0, iface.put()));
  TYPEATTR ta;
  iface->GetTypeAttr(&ta);
  EXPECT_EQ(TKIND_INTERFACE, ta.typekind);
  EXPECT_TRUE(ta.wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_EQ(2, ta.cFuncs);
  FUNCDESC f;
  iface->GetFuncDesc(0, &f);
  EXPECT_EQ(7, f.memid);
  ASSERT_EQ(3u, f.params.size());
  EXPECT_EQ(VT_I4, f.params[1].vt);
  EXPECT_EQ(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, f.params[2].paramFlags);
  ComPtr<ITypeInfo> missing;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetTypeInfoOfGuid(GUID_NULL, missing.put()));
}

TEST(TypeLibTest, TheModulesOwnLibraryReads) {
  auto text = LoadModuleResource("1", RT_TYPELIB);
  ASSERT_TRUE(text);
  ComPtr<ITypeLib> lib = ParseTypeLib(*text);
  std::u16string name;
  lib->GetDocumentation(-1, &name, nullptr);
  EXPECT_EQ(u"Quillmer", name);
  EXPECT_EQ(2u, lib->GetTypeInfoCount());
}

TEST(TypeLibTest, AFaultyTextIsRefusedNamingItsLine) {
  const std::string head = "library L\nuuid {11111111-0000-0000-0000-000000000001}\nversion 1.0\n";
  const std::pair<std::string, std::string> cases[] = {
      {"uuid {11111111-0000-0000-0000-000000000001}\nlibrary L\n", "line 1"},
      {"library L\nversion 1.0\n", "no uuid"},
      {head + "interface I : IUnknown\n", "line 4"},
      {head + "interface I : IDispatch\nmethod 1 F([in] float x)\n", "line 5"},
      {head + "interface I : IDispatch\nmethod 1 F([out, retval] BSTR* v, [in] BSTR a)\n",
       "retval parameter comes last"},
      {head + "interface I : IDispatch\nmethod 1 F()\nmethod 1 G()\n", "DISPID 1 twice"},
      {head + "interface I : IDispatch\nmethod 1 F([out] BSTR* v)\n", "line 5"},
      {head + "coclass C\nuuid {11111111-0000-0000-0000-000000000003}\ndefault J\n", "line 6"},
      {head + "helpstring \"bad \\n escape\"\n", "line 4"},
      {head + "version 1\n", "line 4"},
      {head + "uuid {not-a-guid}\n", "line 4"},
      {"library L\nuuid {11111111-0000-0000-0000-000000000001}\n", "no version"},
  };
  for (const auto& [text, expected] : cases) {
    std::string message;
    EXPECT_EQ(TYPE_E_INVDATAREAD, ParseHr(text, &message)) << text;
    EXPECT_NE(std::string::npos, message.find(expected)) << text << "\n" << message;
  }
  ComPtr<ITypeLib> none;
  EXPECT_EQ(TYPE_E_INVDATAREAD, LoadTypeLibFromText("", none.put()));
  EXPECT_FALSE(none);
}

// Records the calls the type information makes.
class Target : public DispatchTarget {
 public:
  HRESULT InvokeMember(DISPID memid, std::span<VARIANT> args, VARIANT* retval) override {
    calls.push_back(memid);
    last.assign(args.begin(), args.end());
    if (fail) {
      if (withInfo) SetErrorInfo(0, CreateErrorInfo(u"Test.Source", u"it broke").get());
      return fail;
    }
    if (retval) {
      std::string n = std::to_string(args[1].lVal);
      *retval = VariantString(args[0].bstrVal + u"/" + std::u16string(n.begin(), n.end()));
    }
    return S_OK;
  }
  std::vector<DISPID> calls;
  std::vector<VARIANT> last;
  HRESULT fail = S_OK;
  bool withInfo = true;
};

class TypeInfoInvokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ComPtr<ITypeLib> lib = ParseTypeLib(kLib);
    lib->GetTypeInfoOfGuid(MakeGuid("{11111111-0000-0000-0000-000000000002}"), info.put());
  }
  // Arguments in declared order, reversed into DISPPARAMS as callers do.
  HRESULT Call(DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr,
               EXCEPINFO* excep = nullptr, UINT* argErr = nullptr, WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS p;
    p.rgvarg = reversed.data();
    p.cArgs = static_cast<UINT>(reversed.size());
    return info->Invoke(&target, id, flags, &p, result, excep, argErr);
  }
  ComPtr<ITypeInfo> info;
  Target target;
};

TEST_F(TypeInfoInvokeTest, ArgumentsArriveInDeclaredOrderAsTheirDeclaredTypes) {
  VARIANT result;
  ASSERT_EQ(S_OK, Call(7, {VariantDouble(1.0), VariantString(u"42")}, &result));
  ASSERT_EQ(2u, target.last.size());
  EXPECT_EQ(VT_BSTR, target.last[0].vt);
  EXPECT_EQ(u"1", target.last[0].bstrVal);
  EXPECT_EQ(VT_I4, target.last[1].vt);
  EXPECT_EQ(u"1/42", result.bstrVal);

  // By reference, and an empty object where an object is declared.
  std::u16string text = u"ref";
  ASSERT_EQ(S_OK, Call(7, {VariantRef(&text), VariantInt(3)}, &result));
  EXPECT_EQ(u"ref/3", result.bstrVal);
  ASSERT_EQ(S_OK, Call(8, {VariantInt(1), VARIANT{}}));
  EXPECT_EQ(VT_BOOL, target.last[0].vt);
  EXPECT_EQ(VT_DISPATCH, target.last[1].vt);
  EXPECT_FALSE(target.last[1].pdispVal);
}

TEST_F(TypeInfoInvokeTest, CallsThatDoNotFitTheDescriptionNeverReachTheObject) {
  UINT argErr = 99;
  EXPECT_EQ(DISP_E_TYPEMISMATCH,
            Call(7, {VariantNull(), VariantInt(1)}, nullptr, nullptr, &argErr));
  EXPECT_EQ(1u, argErr);  // the first argument is the last in DISPPARAMS
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(7, {VariantString(u"a"), VariantString(u"x")}));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(7, {VariantString(u"a")}));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(9, {}));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
            Call(8, {VariantInt(1), VARIANT{}}, nullptr, nullptr, nullptr, DISPATCH_PROPERTYGET));
  std::vector<VARIANT> args{VariantString(u"a"), VariantInt(1)};
  DISPID named[] = {0, 1};
  DISPPARAMS p{args.data(), named, 2, 2};
  EXPECT_EQ(DISP_E_NONAMEDARGS,
            info->Invoke(&target, 7, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr));
  EXPECT_TRUE(target.calls.empty());
}

TEST_F(TypeInfoInvokeTest, AFailureWithErrorInformationComesBackAsAnException) {
  target.fail = E_ACCESSDENIED;
  EXCEPINFO excep;
  EXPECT_EQ(DISP_E_EXCEPTION, Call(7, {VariantString(u"a"), VariantInt(1)}, nullptr, &excep));
  EXPECT_EQ(u"Test.Source", excep.bstrSource);
  EXPECT_EQ(u"it broke", excep.bstrDescription);
  EXPECT_EQ(E_ACCESSDENIED, excep.scode);

  // Without an EXCEPINFO the caller still finds the information.
  EXPECT_EQ(DISP_E_EXCEPTION, Call(7, {VariantString(u"a"), VariantInt(1)}));
  ComPtr<IErrorInfo> left;
  EXPECT_EQ(S_OK, GetErrorInfo(0, left.put()));

  // Without information the method's own code, and none of a stale one.
  SetErrorInfo(0, CreateErrorInfo(u"old", u"stale").get());
  target.withInfo = false;
  EXPECT_EQ(E_ACCESSDENIED, Call(7, {VariantString(u"a"), VariantInt(1)}, nullptr, &excep));
}

class TypeLibRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUILLMER_REGISTRY", (dir_ / "registry").c_str(), 1);
    ::setenv("QUILLMER_ACP", "1252", 1);
  }
  void TearDown() override {
    ::unsetenv("QUILLMER_REGISTRY");
    ::unsetenv("QUILLMER_ACP");
  }
  static bool Exists(const std::string& key) {
    RegKey k;
    return RegOpenKeyEx(HKEY_CLASSES_ROOT, key, 0, KEY_READ, k.put()) == ERROR_SUCCESS;
  }
  testing::TempDir dir_;
};

TEST_F(TypeLibRegistrationTest, UnregisteringRemovesWhatRegisteringWroteAndNoMore) {
  const std::string libid = "{11111111-0000-0000-0000-000000000001}";
  const std::string iid = "{11111111-0000-0000-0000-000000000002}";
  ComPtr<ITypeLib> lib = ParseTypeLib(kLib);
  ASSERT_EQ(S_OK, RegisterTypeLib(lib.get(), "/m/test.so", "/m/"));
  EXPECT_TRUE(Exists("TypeLib\\" + libid + "\\2.a\\404\\win32"));  // versions in hex
  EXPECT_TRUE(Exists("Interface\\" + iid + "\\ProxyStubClsid32"));

  // Another version of the library stays, and so does its key.
  std::string other(kLib);
  other.replace(other.find("version 2.10"), 12, "version 3.0");
  ASSERT_EQ(S_OK, RegisterTypeLib(ParseTypeLib(other).get(), "/m/test3.so", "/m/"));

  EXPECT_EQ(TYPE_E_REGISTRYACCESS,
            UnRegisterTypeLib(*GuidFromString(libid), 2, 10, 0x409, SYS_WIN32));
  ASSERT_EQ(S_OK, UnRegisterTypeLib(*GuidFromString(libid), 2, 10, 0x404, SYS_WIN32));
  EXPECT_FALSE(Exists("TypeLib\\" + libid + "\\2.a"));
  EXPECT_TRUE(Exists("TypeLib\\" + libid + "\\3.0"));
  // The interface key names version 3.0 now: the later registration wrote it.
  EXPECT_TRUE(Exists("Interface\\" + iid));
  ASSERT_EQ(S_OK, UnRegisterTypeLib(*GuidFromString(libid), 3, 0, 0x404, SYS_WIN32));
  EXPECT_FALSE(Exists("TypeLib\\" + libid));
  EXPECT_FALSE(Exists("Interface\\" + iid));
}

}  // namespace
}  // namespace quillmer
