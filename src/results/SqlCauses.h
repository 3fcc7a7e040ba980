// The kind of a database's refusal, from the code the database gave with it: SQLite's result
// code for the station's results, the SQLSTATE for the line's PostgreSQL. The words stay the
// database's own; only the kind decides what the operator is told.
#pragma once

#include <QSqlError>
#include <string>

#include "Failure.h"

namespace results {

struct SqlWhy {
  std::string text;  // the database's own words
  base::Failure::Cause cause = base::Failure::Cause::Other;
};

// SQLite's words (not Qt's, which a translation would mix into them) and its code's kind.
SqlWhy SqliteWhy(const QSqlError& error);
base::Failure::Cause CauseOfSqliteCode(int code);

// libpq's or the server's words on one line and the SQLSTATE's kind.
SqlWhy PostgresWhy(const QSqlError& error);
base::Failure::Cause CauseOfSqlState(const std::string& sqlState);

}  // namespace results
