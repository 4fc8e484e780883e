// What the environment sets for every SQL Server connection besides
// encryption (tds_encryption.h): how long a statement waits for a lock that
// another session holds.
#pragma once

// ORV_MSS_LOCK_TIMEOUT: seconds, a whole number (0: no wait at all). Not set,
// or set to anything else, the wait is tsql_lock_timeout_ms (tds_sql.h), as
// ORV_MSS_ENCRYPT takes a value it does not know for its default.
long tds_lock_timeout_ms();
