#include "LineFigures.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "LineStore.h"
#include "Spc.h"
#include "SqlCauses.h"
#include "SqlRows.h"

namespace line {
namespace {

std::optional<double> Number(const QVariant& value) {
  if (value.isNull()) return std::nullopt;
  return value.toDouble();
}

}  // namespace

base::Result<std::vector<spc::Sample>> LineStore::Figures(const FigureFilter& filter) const {
  QSqlQuery query(QSqlDatabase::database(results::ToQt(connection_), false));
  query.setForwardOnly(true);  // read once, row by row: nothing kept but the samples
  // Every figure of every run in one statement, unordered: the report puts each series in its
  // runs' order, and a sort of the whole here would cost the server more than all the rest.
  query.prepare(
      "SELECT m.name, m.unit, r.station, r.id::text, "
      "to_char(r.started AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), m.value, m.low, "
      "m.high FROM measurements m JOIN runs r ON r.id = m.run_id "
      "WHERE (?::text = '' OR m.name = ?::text) AND (?::text = '' OR r.station = ?::text) "
      "AND r.started >= ?::timestamptz");
  const std::string since = filter.since.empty()        ? std::string("1970-01-01T00:00:00Z")
                            : filter.since.size() == 10 ? filter.since + "T00:00:00Z"
                                                        : filter.since;
  for (const std::string& value :
       {filter.figure, filter.figure, filter.station, filter.station, since}) {
    query.addBindValue(results::ToQt(value));
  }
  if (!query.exec()) return Failed(results::PostgresWhy(query.lastError()));
  std::vector<spc::Sample> samples;
  if (query.size() > 0) samples.reserve(size_t(query.size()));
  while (query.next()) {
    samples.push_back({results::FromQt(query.value(0)), results::FromQt(query.value(1)),
                       results::FromQt(query.value(2)), results::FromQt(query.value(3)),
                       results::FromQt(query.value(4)), Number(query.value(5)),
                       Number(query.value(6)), Number(query.value(7))});
  }
  if (query.lastError().isValid()) return Failed(results::PostgresWhy(query.lastError()));
  return samples;
}

}  // namespace line
