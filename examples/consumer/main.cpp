// Derives a data source from the installed headers and checks that it is
// registered while it lives.
#include <TavCommon.h>
#include <TavOdb/OdbDataSource.h>
#include <TavOdb/TavOdb.h>

#include <cstdio>

namespace {

class ConsumerDataSource : public OdbDataSource {
 public:
  TavResult Initialize(const char16_t*, const char16_t*, const char16_t*,
                       const char16_t*) override {
    return S_OK;
  }
  TavResult CreateSession(OdbSession** session) override {
    *session = nullptr;
    return TAV_E_NOTSUPPORTED;
  }
};

}  // namespace

int main() {
  bool registered = false;
  {
    ConsumerDataSource dataSource;
    registered = OdbDataSource::checkEnable(&dataSource) == TAV_TRUE;
  }
  char16_t* copy = nullptr;
  const bool copied = TavCopyString(&copy, u"document") == S_OK && TavStrlen(copy) == 8;
  TavFreeMemory(copy);
  std::printf("fnTavOdb=%d registered=%d copied=%d\n", fnTavOdb(), registered, copied);
  return fnTavOdb() == 42 && registered && copied ? 0 : 1;
}
