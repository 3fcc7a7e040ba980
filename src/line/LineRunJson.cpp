#include "LineRunJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "CheckIdentity.h"
#include "RunFacts.h"
#include "SqlRows.h"

namespace line {
namespace {

using results::ToQt;

QJsonValue Number(double value) {
  return QString::number(value, 'g', 17);
}
QJsonValue Number(const std::optional<double>& value) {
  return value ? Number(*value) : QJsonValue(QJsonValue::Null);
}

QString Compact(const QJsonObject& object) {
  return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
QString Compact(const QJsonArray& array) {
  return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

}  // namespace

RunJson RunAsJson(const selftest::RunRecord& run, std::optional<double> clockOffsetSeconds,
                  double clockBoundSeconds) {
  QJsonObject row;
  for (const selftest::RunFact& fact : selftest::RunFacts()) {
    if (!fact.column) continue;
    const selftest::FactValue value = fact.get(run);
    row.insert(fact.column, fact.number ? Number(std::get<double>(value))
                                        : QJsonValue(ToQt(std::get<std::string>(value))));
  }
  row.insert("clock_offset_s", Number(clockOffsetSeconds));
  row.insert("clock_bound_s", Number(clockBoundSeconds));
  QJsonArray checks, figures;
  for (size_t c = 0; c < run.checks.size(); ++c) {
    const selftest::Check& check = run.checks[c];
    checks.append(QJsonObject{{"position", int(c)},
                              {"name", selftest::CheckName(check.kind)},
                              {"passed", check.passed},
                              {"measured", ToQt(check.measured)},
                              {"limits", ToQt(check.limits)},
                              {"detail", ToQt(check.detail)}});
    for (size_t m = 0; m < check.measurements.size(); ++m) {
      const selftest::Measurement& x = check.measurements[m];
      figures.append(QJsonObject{{"check_position", int(c)},
                                 {"position", int(m)},
                                 {"name", ToQt(x.id.Name())},
                                 {"value", Number(x.value)},
                                 {"unit", ToQt(x.unit)},
                                 {"low", Number(x.low)},
                                 {"high", Number(x.high)},
                                 {"passed", x.passed}});
    }
  }
  return {Compact(row), Compact(checks), Compact(figures)};
}

}  // namespace line
