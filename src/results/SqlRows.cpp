#include "SqlRows.h"

namespace results {

bool CheckOfRow(const QSqlQuery& row, selftest::Check& check, std::string& unknown) {
  check.passed = row.value("passed").toBool();
  check.measured = FromQt(row.value("measured"));
  check.limits = FromQt(row.value("limits"));
  check.detail = FromQt(row.value("detail"));
  check.interrupted = !check.passed && check.detail == selftest::kInterruptedDetail;
  const std::string name = FromQt(row.value("name"));
  const auto kind = selftest::CheckNamed(name);
  if (!kind) {
    unknown = name;
    return false;
  }
  check.kind = *kind;
  return true;
}

selftest::Measurement MeasurementOfRow(const QSqlQuery& row) {
  const auto optional = [&](const char* column) {
    const QVariant value = row.value(column);
    return value.isNull() ? std::nullopt : std::optional(value.toDouble());
  };
  return {FromQt(row.value("name")), optional("value"), FromQt(row.value("unit")),
          optional("low"),           optional("high"),  row.value("passed").toBool()};
}

}  // namespace results
