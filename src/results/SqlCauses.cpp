#include "SqlCauses.h"

namespace results {

using Cause = base::Failure::Cause;

Cause CauseOfSqliteCode(int code) {
  // Extended codes keep the primary code in their low byte.
  switch (code & 0xff) {
    case 3:   // SQLITE_PERM
    case 23:  // SQLITE_AUTH
      return Cause::NoPermission;
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
      return Cause::DatabaseBusy;
    case 8:  // SQLITE_READONLY
      return Cause::ReadOnly;
    case 10:  // SQLITE_IOERR
      return Cause::InputOutput;
    case 11:  // SQLITE_CORRUPT
      return Cause::DatabaseDamaged;
    case 13:  // SQLITE_FULL
      return Cause::NoSpace;
    case 14:  // SQLITE_CANTOPEN
      return Cause::NotFound;
    case 26:  // SQLITE_NOTADB
      return Cause::NotADatabase;
    default:
      return Cause::Other;
  }
}

SqlWhy SqliteWhy(const QSqlError& error) {
  QString text = error.databaseText().simplified();
  if (text.isEmpty()) text = error.driverText().simplified();
  bool isCode = false;
  const int code = error.nativeErrorCode().toInt(&isCode);
  return {text.toStdString(), isCode ? CauseOfSqliteCode(code) : Cause::Other};
}

Cause CauseOfSqlState(const std::string& sqlState) {
  if (sqlState == "28P01" || sqlState == "28000") return Cause::LineLoginRefused;
  if (sqlState == "3D000") return Cause::LineNoDatabase;
  if (sqlState == "42501") return Cause::LineNoGrant;
  if (sqlState == "42P01") return Cause::LineNoSchema;           // a table of the schema is missing
  if (sqlState == "53100") return Cause::NoSpace;                // the server's disk is full
  if (sqlState.rfind("08", 0) == 0) return Cause::LineNoAnswer;  // the connection broke
  if (sqlState == "57014") return Cause::LineNoAnswer;           // a statement ran out of its time
  // The run itself refused: its data, a constraint, a check of the server's own (a trigger
  // or function raising). The runs behind it are not.
  for (const char* runClass : {"22", "23", "P0"}) {
    if (sqlState.rfind(runClass, 0) == 0) return Cause::LineRunRefused;
  }
  if (sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03") {
    return Cause::LineNoAnswer;  // the server is shutting down or starting
  }
  return Cause::Other;
}

SqlWhy PostgresWhy(const QSqlError& error) {
  QString text = error.databaseText().simplified();
  if (text.isEmpty()) text = error.driverText().simplified();
  return {text.toStdString(), CauseOfSqlState(error.nativeErrorCode().toStdString())};
}

}  // namespace results
