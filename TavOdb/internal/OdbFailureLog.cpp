#include "TavOdb/internal/OdbFailureLog.h"

#include "Mod/ModMessage.h"

void OdbLogFailure(const char* sourceFile, int sourceLine, const char* file, int line,
                   TavResult rc) {
  auto item = [&] { return ModMessageSelection::error(sourceFile, sourceLine); };
  item() << ModShiftJis;
  item() << "\n\nFileName:";
  item() << (file ? file : "");
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
