// The last-error record that data sources, sessions and rowsets keep.
#ifndef TAVODB_INTERNAL_ODB_ERROR_RECORD_H
#define TAVODB_INTERNAL_ODB_ERROR_RECORD_H

#include "TavCommonTypes.h"

// Hands the held record to the caller: a new copy of piid (the held one is
// released), hrError and lNativeError copied, the two strings moved. The old
// contents of *out are overwritten without being released.
void OdbMoveLastError(OdbErrorInfo& held, OdbErrorInfo* out);

// A deep copy of source into *target (which holds nothing yet); on failure
// *target is left all zero and E_OUTOFMEMORY returned.
TavResult OdbCopyErrorInfo(const OdbErrorInfo& source, OdbErrorInfo* target);

#endif  // TAVODB_INTERNAL_ODB_ERROR_RECORD_H
