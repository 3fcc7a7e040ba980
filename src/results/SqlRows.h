// What the station's results database and the line's share in Qt SQL: text between UTF-8
// and Qt, a figure that may have no value, and a check or a measurement read from its row
// (the same columns in both).
#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <optional>
#include <string>

#include "ProductionCheck.h"

namespace results {

inline QString ToQt(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string FromQt(const QVariant& value) {
  return value.toString().toStdString();
}
// A figure's value or limit, NULL where there is none.
inline QVariant Optional(const std::optional<double>& value) {
  return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

// The check of the query's row; false (and `unknown` its name, the rest of it read) for a
// check this program does not know.
bool CheckOfRow(const QSqlQuery& row, selftest::Check& check, std::string& unknown);
selftest::Measurement MeasurementOfRow(const QSqlQuery& row);
// The same from the columns at `first` on, in the tables' order (a check's name, passed,
// measured, limits, detail; a figure's name, value, unit, low, high, passed): a column found
// by its name costs a look at the whole row's description each time, too dear for thousands
// of rows.
bool CheckOfRow(const QSqlQuery& row, int first, selftest::Check& check, std::string& unknown);
selftest::Measurement MeasurementOfRow(const QSqlQuery& row, int first);

}  // namespace results
