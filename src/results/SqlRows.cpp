#include "SqlRows.h"

#include <QSqlRecord>

namespace results {

bool CheckOfRow(const QSqlQuery& row, selftest::Check& check, std::string& unknown) {
  return CheckOfRow(row, row.record().indexOf("name"), check, unknown);
}

selftest::Measurement MeasurementOfRow(const QSqlQuery& row) {
  return MeasurementOfRow(row, row.record().indexOf("name"));
}

bool CheckOfRow(const QSqlQuery& row, int first, selftest::Check& check, std::string& unknown) {
  check.passed = row.value(first + 1).toBool();
  check.measured = FromQt(row.value(first + 2));
  check.limits = FromQt(row.value(first + 3));
  check.detail = FromQt(row.value(first + 4));
  check.interrupted = !check.passed && check.detail == selftest::kInterruptedDetail;
  const std::string name = FromQt(row.value(first));
  const auto kind = selftest::CheckNamed(name);
  if (!kind) {
    unknown = name;
    return false;
  }
  check.kind = *kind;
  return true;
}

selftest::Measurement MeasurementOfRow(const QSqlQuery& row, int first) {
  const auto optional = [&](int column) {
    const QVariant value = row.value(first + column);
    return value.isNull() ? std::nullopt : std::optional(value.toDouble());
  };
  return {FromQt(row.value(first)),
          optional(1),
          FromQt(row.value(first + 2)),
          optional(3),
          optional(4),
          row.value(first + 5).toBool()};
}

}  // namespace results
