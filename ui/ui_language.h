// The three languages the forms speak, chosen once from the system's ANSI
// code page: Simplified Chinese for 936 and 54936, Traditional for 950,
// English otherwise.
#pragma once

#include "page/page_state.h"
#include "platform/win32/codepage.h"

namespace quillmer {

enum class Language { Simplified, Traditional, English };

// One text in the three languages.
struct Texts {
  const char16_t* sim;
  const char16_t* trad;
  const char16_t* eng;
};

inline Language UiLanguage(UINT codePage) {
  switch (codePage) {
    case kCodePageGbk:
    case kCodePageGb18030:
      return Language::Simplified;
    case kCodePageBig5:
      return Language::Traditional;
    default:
      return Language::English;
  }
}

inline Language UiLanguage(const PageSettings& settings) {
  return UiLanguage(UiCodePage(settings));
}

inline const char16_t* Pick(const Texts& t, Language language) {
  return language == Language::Simplified    ? t.sim
         : language == Language::Traditional ? t.trad
                                             : t.eng;
}

// The font character set of the captions: GB2312, Chinese Big5 or ANSI.
inline int FontCharset(Language language) {
  return language == Language::Simplified ? 134 : language == Language::Traditional ? 136 : 0;
}

}  // namespace quillmer
