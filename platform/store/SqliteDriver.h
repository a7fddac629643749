// The SQLite driver's error mapping, exposed for tests. The factory itself is
// store::openSqlite in Store.h. Private to platform/store.
#ifndef TAVODB_PLATFORM_STORE_SQLITE_DRIVER_H
#define TAVODB_PLATFORM_STORE_SQLITE_DRIVER_H

#include <string>

#include "platform/store/Store.h"

namespace store::sqlite {

// The one place an SQLite result code becomes a store error. `extendedCode`
// is the extended result code; `inTransaction` says whether the connection
// had a transaction open when the statement failed; `connecting` says the
// failure happened while opening the database, which makes any code
// ConnectFailed (08001) so callers can tell "no database" from a failed
// statement.
//
// Busy and locked (5, 6 and their extended codes): inside a transaction the
// transaction cannot go on (another connection holds the lock it needs and
// waiting could deadlock, or the busy timeout ran out while holding locks the
// other side needs), so the caller must roll back and retry: Deadlock, 40P01.
// A busy snapshot (517: the transaction read data another connection has
// since changed, so it may not write) is the same conflict: Deadlock, 40001.
// Outside a transaction nothing needs rolling back; the statement merely
// waited out the busy timeout: Other, 55P03 (lock not available). The driver
// rolls a Deadlock's transaction back at once, as PostgreSQL does.
Error mapError(int extendedCode, const std::string& message, bool inTransaction,
               bool connecting);

}  // namespace store::sqlite

#endif  // TAVODB_PLATFORM_STORE_SQLITE_DRIVER_H
