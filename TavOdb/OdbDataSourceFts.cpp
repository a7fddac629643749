#include "TavOdb/OdbDataSourceFts.h"

OdbDataSourceFts::OdbDataSourceFts() = default;

OdbDataSourceFts::~OdbDataSourceFts() = default;

TavResult OdbDataSourceFts::Initialize(const char16_t*, const char16_t*, const char16_t*,
                                       const char16_t*) {
  return S_OK;
}

TavResult OdbDataSourceFts::CreateSession(OdbSession**) {
  return S_OK;
}
