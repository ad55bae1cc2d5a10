// The product's identities: its class identifiers, ProgIDs, names and the
// browser properties it sets, in one place at the bottom of the product so
// that the registration, the settings and page conversion agree. Class
// identifiers are in the registry's text form; the object layer makes GUIDs
// of them.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quillmer {
namespace identity_detail {

template <std::size_t N>
constexpr std::array<char16_t, N> Widen(const char (&text)[N]) {
  std::array<char16_t, N> wide{};
  for (std::size_t i = 0; i < N; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  return wide;
}

inline constexpr char kHelperClsid[] = "{5E2B9C42-7A1D-4F36-9C81-2D47B6A0E310}";
inline constexpr auto kHelperClsidWide = Widen(kHelperClsid);
inline constexpr char kHelperName[] = "Quillmer_Helper";
inline constexpr auto kHelperNameWide = Widen(kHelperName);
inline constexpr char kProductName[] = "Quillmer";
inline constexpr auto kProductNameWide = Widen(kProductName);

}  // namespace identity_detail

// The product's name: the caption of its message boxes, and the band's
// caption on a system that reads neither Chinese script.
inline constexpr std::u16string_view kProductCaption{identity_detail::kProductNameWide.data(),
                                                     identity_detail::kProductNameWide.size() - 1};
// The band's name in the registry (its class key's value and its entry in the
// toolbar list), whatever its caption.
inline constexpr std::string_view kBandRegistryName{identity_detail::kProductName,
                                                    sizeof identity_detail::kProductName - 1};

// The library's name, which prefixes every ProgID.
inline constexpr std::u16string_view kLibraryName = u"Quillmer";

// The type library.
inline constexpr std::string_view kTypeLibId = "{5E2B9C40-7A1D-4F36-9C81-2D47B6A0E310}";
// The toolbar band: no class name, so no ProgID.
inline constexpr std::string_view kBandClsid = "{5E2B9C41-7A1D-4F36-9C81-2D47B6A0E310}";
// The browser helper object.
inline constexpr std::string_view kHelperClsid{identity_detail::kHelperClsid,
                                               sizeof identity_detail::kHelperClsid - 1};
// Its class name, which is also its value under the Browser Helper Objects key.
inline constexpr std::u16string_view kHelperClassName{identity_detail::kHelperNameWide.data(),
                                                      identity_detail::kHelperNameWide.size() - 1};
inline constexpr std::string_view kHelperRegistryName{identity_detail::kHelperName,
                                                      sizeof identity_detail::kHelperName - 1};
// The automation object.
inline constexpr std::string_view kConFaceClsid = "{8B6F0D23-3C95-4E7A-A2D4-61C9E5F08B72}";
inline constexpr std::u16string_view kConFaceProgId = u"Quillmer.ConFace";

// The browser property under which the window's helper object keeps its
// IDispatch: the helper's class identifier.
inline constexpr std::u16string_view kHelperProperty{identity_detail::kHelperClsidWide.data(),
                                                     identity_detail::kHelperClsidWide.size() - 1};
// The browser property that keeps a page's charset from before a conversion
// changed it.
inline constexpr std::u16string_view kOrigCharsetProperty = u"OrigCharset";

}  // namespace quillmer
