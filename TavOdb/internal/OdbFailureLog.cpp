#include "TavOdb/internal/OdbFailureLog.h"

#include <string>
#include <string_view>

#include "Mod/ModMessage.h"

namespace {

// Failure sites are named by their source file without its extension.
std::string_view withoutExtension(const char* file) {
  if (file == nullptr) return {};
  const std::string_view name(file);
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

}  // namespace

void OdbLogFailure(const char* sourceFile, int sourceLine, const char* file, int line,
                   TavResult rc) {
  auto item = [&] { return ModMessageSelection::error(sourceFile, sourceLine); };
  item() << ModShiftJis;
  item() << "\n\nFileName:";
  item() << std::string(withoutExtension(file));
  item() << "  Line:";
  item() << line;
  item() << "  ErrorCode:";
  item() << "  0x";
  item() << ModHex;
  item() << static_cast<int>(rc);
  item() << ModShiftJis;
  if (rc == E_OUTOFMEMORY) {
    item() << "  NoMemory";
  } else if (rc == E_INVALIDARG) {
    item() << "  BadParameter";
  }
  item() << ModEndl;
}
