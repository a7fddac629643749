// The library entry's exported placeholders.
#ifndef TAVODB_TAVODB_H
#define TAVODB_TAVODB_H

#include "TavOdbExport.h"

// Returns 42.
TAVODB_API int fnTavOdb();

// Initialised to 0; the library never writes it.
extern TAVODB_API int nTavOdb;

// A class without data; construction and assignment do nothing else.
class TAVODB_API CTavOdb {
 public:
  CTavOdb();
  CTavOdb& operator=(const CTavOdb& other);
};

#endif  // TAVODB_TAVODB_H
