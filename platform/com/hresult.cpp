#include "platform/com/hresult.h"

#include <cstdio>

namespace quillmer {

std::string HResultText(HRESULT hr) {
  switch (hr) {
    case S_OK:
      return "The operation completed successfully";
    case S_FALSE:
      return "The operation completed with a false result";
    case E_NOTIMPL:
      return "Not implemented";
    case E_NOINTERFACE:
      return "No such interface supported";
    case E_POINTER:
      return "Invalid pointer";
    case E_ABORT:
      return "Operation aborted";
    case E_FAIL:
      return "Unspecified error";
    case E_UNEXPECTED:
      return "Catastrophic failure";
    case E_ACCESSDENIED:
      return "Access is denied";
    case E_HANDLE:
      return "The handle is invalid";
    case E_OUTOFMEMORY:
      return "Not enough memory";
    case E_INVALIDARG:
      return "The parameter is incorrect";
    case E_FILE_NOT_FOUND:
      return "The system cannot find the file specified";
    case E_RESOURCE_NOT_FOUND:
      return "The specified resource name cannot be found";
    case DISP_E_UNKNOWNINTERFACE:
      return "Unknown interface";
    case DISP_E_MEMBERNOTFOUND:
      return "Member not found";
    case DISP_E_PARAMNOTFOUND:
      return "Parameter not found";
    case DISP_E_TYPEMISMATCH:
      return "Type mismatch";
    case DISP_E_UNKNOWNNAME:
      return "Unknown name";
    case DISP_E_NONAMEDARGS:
      return "No named arguments";
    case DISP_E_BADVARTYPE:
      return "Bad variable type";
    case DISP_E_EXCEPTION:
      return "Exception occurred";
    case DISP_E_BADINDEX:
      return "Invalid index";
    case DISP_E_BADPARAMCOUNT:
      return "Invalid number of parameters";
    case DISP_E_PARAMNOTOPTIONAL:
      return "Parameter not optional";
    case TYPE_E_ELEMENTNOTFOUND:
      return "Element not found";
    case CLASS_E_NOAGGREGATION:
      return "Class does not support aggregation";
    case CLASS_E_CLASSNOTAVAILABLE:
      return "ClassFactory cannot supply requested class";
    case CO_E_CLASSSTRING:
      return "Invalid class string";
    case CONNECT_E_NOCONNECTION:
      return "No connection for this connection ID";
    case CONNECT_E_ADVISELIMIT:
      return "Connection limit reached";
    case CONNECT_E_CANNOTCONNECT:
      return "Cannot connect: the sink does not offer the interface";
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "Error 0x%08X", static_cast<unsigned>(hr));
      return buf;
    }
  }
}

HRESULT OleCheck(HRESULT hr) {
  if (FAILED(hr)) throw Error(HResultText(hr), hr);
  return hr;
}

HRESULT OleCheck(HRESULT hr, std::string_view what) {
  if (FAILED(hr)) throw Error(std::string(what) + ": " + HResultText(hr), hr);
  return hr;
}

}  // namespace quillmer
