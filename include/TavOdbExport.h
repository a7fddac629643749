// Export control for libtavodb.so. The library is built with hidden
// visibility; only declarations marked TAVODB_API form its ABI.
#ifndef TAVODB_EXPORT_H
#define TAVODB_EXPORT_H

#define TAVODB_API __attribute__((visibility("default")))

#endif  // TAVODB_EXPORT_H
