// The standard failure message of the library's classes:
//   "\n\nFileName:<file>  Line:<line>  ErrorCode:  0x<rc in hex>[  NoMemory|  BadParameter]"
// Each item is its own log statement attributed to the reporting class's
// source (sourceFile, sourceLine), so the message reads as that class's own.
#ifndef TAVODB_INTERNAL_ODB_FAILURE_LOG_H
#define TAVODB_INTERNAL_ODB_FAILURE_LOG_H

#include "TavCommonTypes.h"

// Writes the message; changes nothing else. file and line are the failure
// site that the caller reports; rc is the code it is about to return.
void OdbLogFailure(const char* sourceFile, int sourceLine, const char* file, int line,
                   TavResult rc);

#endif  // TAVODB_INTERNAL_ODB_FAILURE_LOG_H
