// The PostgreSQL driver's error mapping, exposed for tests. The factory itself
// is store::openPostgres in Store.h. Private to platform/store.
#ifndef TAVODB_PLATFORM_STORE_POSTGRES_DRIVER_H
#define TAVODB_PLATFORM_STORE_POSTGRES_DRIVER_H

#include <string>

#include "platform/store/Store.h"

namespace store::pg {

// The one place a libpq failure becomes a store error. `sqlState` is the
// result's SQLSTATE field, null or empty when libpq reported the failure
// itself; `connectionBad` is PQstatus() == CONNECTION_BAD after the failure;
// `connecting` says no connection was made yet.
//
// A lost connection often arrives without any SQLSTATE, so: connecting gives
// ConnectFailed (08001); class 08, 57P01 (admin shutdown, also what
// pg_terminate_backend sends), 57P02 (crash shutdown), 57P03 (cannot connect
// now), and any failure that left the connection bad give ConnectionLost
// (08006 when there was no SQLSTATE). Then 23505 UniqueViolation; 40P01 and
// 40001 Deadlock (both mean: roll back and retry the transaction); 53100
// DiskFull, or LogFull when the server could not extend its write-ahead log
// ("pg_wal" in the message); 57014 Cancelled; anything else Other (XX000
// when there was no SQLSTATE).
Error mapError(const char* sqlState, const std::string& message, bool connectionBad,
               bool connecting);

}  // namespace store::pg

#endif  // TAVODB_PLATFORM_STORE_POSTGRES_DRIVER_H
