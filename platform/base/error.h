// The one error type of the program: an HRESULT with a message, as COM methods
// report it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillmer {

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) and (ERROR_RESOURCE_NAME_NOT_FOUND).
constexpr HRESULT E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT E_RESOURCE_NOT_FOUND = static_cast<HRESULT>(0x80070716u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, HRESULT code = E_FAIL)
      : std::runtime_error(message), code_(code) {}
  HRESULT code() const { return code_; }

 private:
  HRESULT code_;
};

}  // namespace quillmer
