#include "TavOdb/OdbRowsetFts.h"

OdbRowsetFts::OdbRowsetFts() = default;

OdbRowsetFts::~OdbRowsetFts() = default;

TavResult OdbRowsetFts::Initialize(OdbSession*, const char16_t*, int, int, const TavVariant*, int,
                                   TavVariant*) {
  return S_OK;
}

TavResult OdbRowsetFts::GetNextRow(int) {
  return S_OK;
}

TavResult OdbRowsetFts::GetNextRow2(int, int) {
  return TAV_E_NOTSUPPORTED;
}

TavResult OdbRowsetFts::GetSectionNumbers(TavVariant*, int) {
  return TAV_E_NOTSUPPORTED;
}
