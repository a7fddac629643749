#include "TavOdb/internal/OdbErrorRecord.h"

#include <cstring>

#include "TavCommon.h"
#include "TavOdb/OdbDataSource.h"

void OdbFreeErrorInfo(OdbErrorInfo* info) {
  if (info == nullptr) return;
  if (info->piid != nullptr) {
    TavFreeMemory(info->piid);
    info->piid = nullptr;
  }
  if (info->pszSqlState != nullptr) {
    TavFreeMemory(info->pszSqlState);
    info->pszSqlState = nullptr;
  }
  if (info->pszDescription != nullptr) {
    TavFreeMemory(info->pszDescription);
    info->pszDescription = nullptr;
  }
}

void OdbMoveLastError(OdbErrorInfo& held, OdbErrorInfo* out) {
  if (out == nullptr) return;
  // A failed copy hands out a null piid; the held one goes either way so
  // that a second call yields null as well.
  if (TavCopyGuid(&out->piid, held.piid) != S_OK) out->piid = nullptr;
  if (held.piid != nullptr) {
    TavFreeMemory(held.piid);
    held.piid = nullptr;
  }
  out->hrError = held.hrError;
  out->pszSqlState = held.pszSqlState;
  held.pszSqlState = nullptr;
  out->lNativeError = held.lNativeError;
  out->pszDescription = held.pszDescription;
  held.pszDescription = nullptr;
}

namespace {

char* copyNarrow(const char* text) {
  if (text == nullptr) return nullptr;
  const size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(TavAllocateMemory(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

}  // namespace

TavResult OdbCopyErrorInfo(const OdbErrorInfo& source, OdbErrorInfo* target) {
  *target = OdbErrorInfo{};
  target->hrError = source.hrError;
  target->lNativeError = source.lNativeError;
  target->pszSqlState = copyNarrow(source.pszSqlState);
  target->pszDescription = copyNarrow(source.pszDescription);
  const bool copied = TavCopyGuid(&target->piid, source.piid) == S_OK &&
                      (source.pszSqlState == nullptr || target->pszSqlState != nullptr) &&
                      (source.pszDescription == nullptr || target->pszDescription != nullptr);
  if (!copied) {
    OdbFreeErrorInfo(target);
    *target = OdbErrorInfo{};
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
