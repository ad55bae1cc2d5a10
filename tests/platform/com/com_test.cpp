#include "platform/com/com.h"

#include <gtest/gtest.h>

#include <thread>

namespace quillmer {
namespace {

struct IProbe : IDispatch {
  QM_INTERFACE(IProbe, IDispatch, "{0A1B2C3D-0000-4000-8000-000000000001}")
  virtual HRESULT Ping(std::u16string* out) = 0;
};

struct IOther : IUnknown {
  QM_INTERFACE(IOther, IUnknown, "{0A1B2C3D-0000-4000-8000-000000000002}")
};

// Records what Invoke receives; counts its own destruction.
class TProbe final : public ComObject<IProbe, IOther> {
 public:
  explicit TProbe(int* destroyed = nullptr) : destroyed_(destroyed) {}
  ~TProbe() override {
    if (destroyed_) ++*destroyed_;
  }
  HRESULT Ping(std::u16string* out) override {
    if (auto f = Fault("IProbe::Ping")) {
      out->clear();
      return *f;
    }
    *out = u"pong";
    return S_OK;
  }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const std::u16string* names, UINT count, LCID,
                        DISPID* ids) override {
    static constexpr DispMember kMembers[] = {{u"Ping", 1}, {u"Value", 2}};
    return LookupDispIds(kMembers, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO*, UINT*) override {
    calls.push_back({id, flags, {}, {}});
    DispatchArgs args(params);
    for (UINT i = 0; i < args.count(); ++i) {
      std::u16string s;
      if (VARIANT* v = args.value(i)) VariantToString(*v, &s);
      calls.back().args.push_back(args.at(i) ? s : u"<none>");
    }
    for (UINT j = 0; j < params->cNamedArgs; ++j)
      calls.back().named.push_back(params->rgdispidNamedArgs[j]);
    if (result) *result = VariantInt(id);
    return S_OK;
  }

  struct Call {
    DISPID id;
    WORD flags;
    std::vector<std::u16string> args;
    std::vector<DISPID> named;
  };
  std::vector<Call> calls;

 private:
  int* destroyed_;
};

// An object that sends events of IProbe.
class TSource final : public ComObject<IConnectionPointContainer> {
 public:
  TSource() : points_(this, {IProbe::iid}) {}
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    return points_.FindConnectionPoint(riid, out);
  }
  ConnectionPoints points_;
};

TEST(Guid, PrintsAndParsesTheRegistryForm) {
  constexpr GUID g = MakeGuid("{5e2b9c42-7a1d-4f36-9c81-2d47b6a0e310}");
  EXPECT_EQ(GuidToString(g), "{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}");
  EXPECT_EQ(GuidToWideString(g), u"{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}");
  EXPECT_EQ(g.Data1, 0x5E2B9C42u);
  EXPECT_EQ(g.Data4[0], 0x9C);
  EXPECT_EQ(g.Data4[7], 0x10);
  EXPECT_EQ(GuidFromString("5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310"), g);
  EXPECT_EQ(GuidFromString(u"{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}"), g);
  EXPECT_NE(g, MakeGuid("{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E311}"));
  EXPECT_EQ(GuidHash{}(g), GuidHash{}(*GuidFromString(GuidToString(g))));
}

TEST(Guid, RejectsMalformedText) {
  for (const char* bad :
       {"", "{}", "5E2B9C42-7A1D-4F36-9C81-2D47B6A0E31", "{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310",
        "5E2B9C42x7A1D-4F36-9C81-2D47B6A0E310", "5E2B9C42-7A1D-4F36-9C81-2D47B6A0E31G",
        "{5E2B9C42-7A1D-4F36-9C812-D47B6A0E310}"})
    EXPECT_FALSE(GuidFromString(std::string_view(bad))) << bad;
  EXPECT_FALSE(GuidFromString(u"{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E31中}"));
}

TEST(ComObject, AnswersItsInterfacesAndTheirBasesWithOneIdentity) {
  int destroyed = 0;
  {
    ComPtr<TProbe> probe = MakeComObject<TProbe>(&destroyed);
    ComPtr<IProbe> p = probe.query<IProbe>();
    ComPtr<IDispatch> d = probe.query<IDispatch>();
    ComPtr<IOther> o = probe.query<IOther>();
    ASSERT_TRUE(p && d && o);
    EXPECT_TRUE(IsSameObject(p.get(), o.get()));
    EXPECT_EQ(IdentityOf(o.get()), IdentityOf(d.get()));

    ComPtr<IServiceProvider> none;
    EXPECT_EQ(p.As(&none), E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_EQ(p->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    ComPtr<IProbe> empty;
    EXPECT_EQ(empty.As(&none), E_POINTER);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(ComObject, CountsReferencesThroughComPtr) {
  int destroyed = 0;
  IProbe* raw = nullptr;
  {
    ComPtr<IProbe> a = MakeComObject<TProbe>(&destroyed);
    raw = a.get();
    ComPtr<IProbe> b = a;             // copy adds one
    ComPtr<IProbe> c = std::move(b);  // move adds none
    EXPECT_FALSE(b);
    EXPECT_EQ(raw->AddRef(), 3u);
    EXPECT_EQ(raw->Release(), 2u);
    IProbe* given = nullptr;
    c.CopyTo(&given);
    ComPtr<IProbe> d = Adopt(given);  // takes over the reference CopyTo gave
    EXPECT_EQ(raw->AddRef(), 4u);
    raw->Release();
    c.put();  // an out-parameter slot releases what it held
    EXPECT_FALSE(c);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(Faults, HideInterfacesAndFailCallsEverywhereOrOnOneObject) {
  FaultScope scope;
  ComPtr<TProbe> a = MakeComObject<TProbe>(), b = MakeComObject<TProbe>();
  HideInterface("IOther", a.query<IProbe>().get());
  EXPECT_FALSE(a.query<IOther>());
  EXPECT_TRUE(b.query<IOther>());
  EXPECT_TRUE(a.query<IUnknown>());

  std::u16string s;
  InjectFault("IProbe::Ping", E_ACCESSDENIED, b.query<IUnknown>().get(), 1);
  EXPECT_EQ(a->Ping(&s), S_OK);
  EXPECT_EQ(b->Ping(&s), S_OK);  // the first call goes through
  EXPECT_EQ(b->Ping(&s), E_ACCESSDENIED);
  EXPECT_EQ(b->Ping(&s), E_ACCESSDENIED);

  ClearFaults();
  InjectFault("IProbe::Ping", S_OK);  // answers nothing
  EXPECT_EQ(a->Ping(&s), S_OK);
  EXPECT_EQ(s, u"");
  ClearFaults();
  EXPECT_TRUE(a.query<IOther>());
  EXPECT_EQ(a->Ping(&s), S_OK);
  EXPECT_EQ(s, u"pong");
}

TEST(OleCheck, RaisesTheFailureWithItsCode) {
  EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
  try {
    OleCheck(E_NOINTERFACE, "get_Document");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), E_NOINTERFACE);
    EXPECT_STREQ(e.what(), "get_Document: No such interface supported");
  }
  EXPECT_EQ(HResultText(static_cast<HRESULT>(0x80991234u)), "Error 0x80991234");
}

TEST(Variant, ConvertsToTextAndNumbers) {
  std::u16string s;
  EXPECT_EQ(VariantToString(VariantInt(-42), &s), S_OK);
  EXPECT_EQ(s, u"-42");
  EXPECT_EQ(VariantToString(VariantBool(true), &s), S_OK);
  EXPECT_EQ(s, u"True");
  EXPECT_EQ(VariantToString(VARIANT{}, &s), S_OK);
  EXPECT_EQ(s, u"");
  EXPECT_EQ(VariantToString(VariantDouble(1.5), &s), S_OK);
  EXPECT_EQ(s, u"1.5");
  EXPECT_EQ(VariantToString(VariantNull(), &s), DISP_E_TYPEMISMATCH);

  std::int32_t n = 0;
  EXPECT_EQ(VariantToInt(VariantString(u" 120 "), &n), S_OK);
  EXPECT_EQ(n, 120);
  EXPECT_EQ(VariantToInt(VariantString(u"120%"), &n), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantToInt(VariantString(u"99999999999"), &n), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantToInt(VariantDouble(2.5), &n), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantToInt(VariantBool(true), &n), S_OK);
  EXPECT_EQ(n, -1);
}

TEST(Variant, FollowsReferencesAndTellsEmptyFromNull) {
  VARIANT inner = VariantString(u"http://x/");
  VARIANT ref = VariantRef(&inner);
  std::u16string s;
  EXPECT_EQ(VariantToString(ref, &s), S_OK);
  EXPECT_EQ(s, u"http://x/");
  EXPECT_EQ(&VariantDeref(ref), &inner);
  VARIANT loop = VariantRef(static_cast<VARIANT*>(nullptr));
  loop.pvarVal = &loop;  // a cycle must not hang
  EXPECT_EQ(VariantDeref(loop).vt, VT_BYREF | VT_VARIANT);

  EXPECT_TRUE(VariantIsEmpty(VARIANT{}));
  EXPECT_TRUE(VariantIsEmpty(VariantDispatch(nullptr)));
  EXPECT_FALSE(VariantIsEmpty(VariantNull()));
  EXPECT_FALSE(VariantIsEmpty(VariantString(u"")));

  ComPtr<TProbe> p = MakeComObject<TProbe>();
  VARIANT d = VariantDispatch(p.query<IDispatch>().get());
  EXPECT_FALSE(VariantIsEmpty(d));
  EXPECT_EQ(VariantDispatch(p.query<IProbe>().get()), d);  // same object
  VariantClear(&d);
  EXPECT_EQ(d.vt, VT_EMPTY);
}

TEST(Dispatch, ArgumentsTravelReversedWithNamedOnesFirst) {
  ComPtr<TProbe> p = MakeComObject<TProbe>();
  VARIANT result;
  EXPECT_EQ(InvokeDispatch(p.get(), 7, DISPATCH_METHOD,
                           {VariantString(u"a"), VariantInt(2), VariantBool(false)}, &result),
            S_OK);
  ASSERT_EQ(p->calls.size(), 1u);
  EXPECT_EQ(p->calls[0].args, (std::vector<std::u16string>{u"a", u"2", u"False"}));
  EXPECT_EQ(result, VariantInt(7));

  // The last argument named as position 3; the others are positional.
  const DISPID named[] = {3, 1};
  EXPECT_EQ(InvokeDispatch(p.get(), 8, DISPATCH_METHOD,
                           {VariantString(u"p0"), VariantString(u"p1"), VariantString(u"p2"),
                            VariantString(u"for3")},
                           nullptr, std::span<const DISPID>(named, 1)),
            S_OK);
  EXPECT_EQ(p->calls[1].args, (std::vector<std::u16string>{u"p0", u"p1", u"p2", u"for3"}));
  EXPECT_EQ(p->calls[1].named, (std::vector<DISPID>{3}));

  EXPECT_EQ(InvokeDispatch(p.get(), 9, DISPATCH_METHOD,
                           {VariantString(u"p0"), VariantString(u"for3"), VariantString(u"for1")},
                           nullptr, named),
            S_OK);
  // Named ones travel first in rgvarg, so their DISPIDs are listed reversed.
  EXPECT_EQ(p->calls[2].named, (std::vector<DISPID>{1, 3}));
  // Position 2 is filled by no argument; position 3 lies beyond the count.
  EXPECT_EQ(p->calls[2].args, (std::vector<std::u16string>{u"p0", u"for1", u"<none>"}));
}

TEST(Dispatch, NamesResolveWithoutRegardToCaseAndPutsNameTheirValue) {
  ComPtr<TProbe> p = MakeComObject<TProbe>();
  std::u16string names[] = {u"PING", u"nope"};
  DISPID ids[2] = {};
  EXPECT_EQ(p->GetIDsOfNames(GUID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);

  EXPECT_EQ(InvokeByName(p.get(), u"value", DISPATCH_PROPERTYPUT, {VariantString(u"v")}), S_OK);
  ASSERT_EQ(p->calls.size(), 1u);
  EXPECT_EQ(p->calls[0].id, 2);
  EXPECT_EQ(p->calls[0].named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));
  EXPECT_EQ(p->calls[0].args, (std::vector<std::u16string>{u"v"}));
  EXPECT_EQ(InvokeByName(p.get(), u"missing", DISPATCH_METHOD, {}), DISP_E_UNKNOWNNAME);
}

TEST(ConnectionPoints, AdviseFireAndUnadviseByCookie) {
  ComPtr<TSource> source = MakeComObject<TSource>();
  ComPtr<TProbe> s1 = MakeComObject<TProbe>(), s2 = MakeComObject<TProbe>();
  DWORD c1 = 0, c2 = 0;
  EXPECT_EQ(AtlAdvise(source.get(), s1.query<IUnknown>().get(), IProbe::iid, &c1), S_OK);
  EXPECT_EQ(AtlAdvise(source.get(), s2.query<IUnknown>().get(), IProbe::iid, &c2), S_OK);
  EXPECT_NE(c1, 0u);
  EXPECT_NE(c1, c2);

  EXPECT_EQ(source->points_.Fire(IProbe::iid, 259, {VariantString(u"url")}), 2);
  ASSERT_EQ(s1->calls.size(), 1u);
  EXPECT_EQ(s1->calls[0].id, 259);
  EXPECT_EQ(s1->calls[0].args, (std::vector<std::u16string>{u"url"}));

  EXPECT_EQ(AtlUnadvise(source.get(), IProbe::iid, c1), S_OK);
  EXPECT_EQ(AtlUnadvise(source.get(), IProbe::iid, c1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(source->points_.Fire(IProbe::iid, 1, {}), 1);
  EXPECT_EQ(s1->calls.size(), 1u);
  EXPECT_EQ(s2->calls.size(), 2u);

  ComPtr<IConnectionPoint> cp;
  EXPECT_EQ(source->FindConnectionPoint(IOther::iid, cp.put()), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(cp);
  // A sink without IDispatch cannot be connected.
  EXPECT_EQ(source->FindConnectionPoint(IProbe::iid, cp.put()), S_OK);
  class TNoDispatch final : public ComObject<IOther> {};
  ComPtr<TNoDispatch> mute = MakeComObject<TNoDispatch>();
  DWORD c3 = 7;
  EXPECT_EQ(cp->Advise(mute.get(), &c3), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(c3, 0u);
  IID iid;
  cp->GetConnectionInterface(&iid);
  EXPECT_EQ(iid, IProbe::iid);
  ComPtr<IConnectionPointContainer> back;
  cp->GetConnectionPointContainer(back.put());
  EXPECT_TRUE(IsSameObject(back.get(), source.get()));
}

// A sink that unadvises another sink while the event is being sent.
class TUnadviser final : public ComObject<IDispatch> {
 public:
  IConnectionPoint* point = nullptr;
  DWORD victim = 0;
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const std::u16string*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    point->Unadvise(victim);
    return S_OK;
  }
};

TEST(ConnectionPoints, ASinkRemovedDuringAnEventIsNotCalledAndPointsLiveWithTheirOwner) {
  int destroyed = 0;
  ComPtr<TProbe> victim = MakeComObject<TProbe>(&destroyed);
  ComPtr<IConnectionPoint> cp;
  {
    ComPtr<TSource> source = MakeComObject<TSource>();
    source->FindConnectionPoint(IProbe::iid, cp.put());
  }
  // The point keeps its owner alive.
  ComPtr<TUnadviser> first = MakeComObject<TUnadviser>();
  DWORD c1 = 0, c2 = 0;
  ASSERT_EQ(cp->Advise(first.get(), &c1), S_OK);
  ASSERT_EQ(cp->Advise(victim.query<IUnknown>().get(), &c2), S_OK);
  first->point = cp.get();
  first->victim = c2;
  ComPtr<IConnectionPointContainer> owner;
  cp->GetConnectionPointContainer(owner.put());
  EXPECT_EQ(static_cast<TSource*>(owner.get())->points_.Fire(IProbe::iid, 5, {}), 1);
  EXPECT_TRUE(victim->calls.empty());
  victim = nullptr;
  EXPECT_EQ(destroyed, 1);  // the point let go of the sink
}

TEST(ErrorInfo, EachThreadKeepsItsLastErrorUntilTaken) {
  SetErrorInfo(0, CreateErrorInfo(u"Quillmer.ConFace", u"boom").get());
  std::thread([] {
    ComPtr<IErrorInfo> none;
    EXPECT_EQ(GetErrorInfo(0, none.put()), S_FALSE);
    EXPECT_FALSE(none);
  }).join();
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  std::u16string source, text;
  info->GetSource(&source);
  info->GetDescription(&text);
  EXPECT_EQ(source, u"Quillmer.ConFace");
  EXPECT_EQ(text, u"boom");
  EXPECT_EQ(GetErrorInfo(0, info.put()), S_FALSE);
}

TEST(ErrorInfo, ExceptionsBecomeTheirCodeOrUnexpected) {
  auto thrown = [](auto e) {
    try {
      throw e;
    } catch (...) {
      return std::current_exception();
    }
  };
  EXPECT_EQ(HResultFromException(thrown(Error("clipboard busy", E_ACCESSDENIED)), u"src"),
            E_ACCESSDENIED);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  std::u16string text;
  info->GetDescription(&text);
  EXPECT_EQ(text, u"clipboard busy");
  // An Error carrying a success code, or another exception, is unexpected.
  EXPECT_EQ(HResultFromException(thrown(Error("odd", S_FALSE)), u"src"), E_UNEXPECTED);
  EXPECT_EQ(HResultFromException(thrown(std::runtime_error("x")), u"src"), E_UNEXPECTED);
  EXPECT_EQ(HResultFromException(thrown(42), u"src"), E_UNEXPECTED);
  SetErrorInfo(0, nullptr);
}

}  // namespace
}  // namespace quillmer
