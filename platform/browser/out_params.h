// What a call that fails, or is made to succeed by a test, leaves in its
// out-parameters: empty strings and VARIANTs, zeros, null interfaces.
#pragma once

#include <cstddef>
#include <string>

#include "platform/browser/webbrowser.h"

namespace quillmer {

inline void EmptyOutOne(std::u16string* s) {
  if (s) s->clear();
}
inline void EmptyOutOne(VARIANT* v) {
  if (v) *v = VARIANT{};
}
inline void EmptyOutOne(LONG* v) {
  if (v) *v = 0;
}
inline void EmptyOutOne(bool* v) {
  if (v) *v = false;
}
inline void EmptyOutOne(READYSTATE* v) {
  if (v) *v = READYSTATE_UNINITIALIZED;
}
template <class T>
void EmptyOutOne(T** p) {
  if (p) *p = nullptr;
}
inline void EmptyOutOne(std::nullptr_t) {}
template <class... T>
void EmptyOut(T... outs) {
  (EmptyOutOne(outs), ...);
}

}  // namespace quillmer
