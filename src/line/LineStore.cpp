#include "LineStore.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <limits>

#include "LineReach.h"
#include "LineRunJson.h"
#include "LineSocket.h"
#include "PassFile.h"
#include "RunFacts.h"
#include "SqlCauses.h"
#include "SqlRows.h"

namespace line {
namespace {

using results::FromQt;
using results::ToQt;

using results::PostgresWhy;
using results::SqlWhy;
using Cause = base::Failure::Cause;

// How long the network is given to say why a connection failed.
constexpr std::chrono::milliseconds kReachWait{3000};

// How many round trips the clock is read in at most, for one short enough.
constexpr int kClockTries = 3;

// The settings as libpq's connection options (its keywords, one word each: the profile's
// reader refuses anything else). The connection's wait is bounded (libpq's connect_timeout),
// and a peer gone silent over TCP is found (keepalives after 5 s idle, three missed 2 s
// apart; data unacknowledged for 10 s). A statement is bounded where the caller asks
// (BoundStatements), and a server process that stops answering altogether is cut from
// outside (Cut).
QString Options(const selftest::LineSettings& s) {
  QStringList options = {"connect_timeout=" + QString::number(kConnectWait.count()),
                         "application_name=kzb7310",
                         "keepalives=1",
                         "keepalives_idle=5",
                         "keepalives_interval=2",
                         "keepalives_count=3",
                         "tcp_user_timeout=10000"};
  if (!s.sslmode.empty()) options << ToQt("sslmode=" + s.sslmode);
  if (!s.service.empty()) options << ToQt("service=" + s.service);
  return options.join(';');
}

}  // namespace

std::string Where(const selftest::LineSettings& s) {
  std::string where = s.service.empty() ? "" : "service " + s.service + " ";
  where += (s.host.empty() ? "localhost" : s.host) + ":" +
           (s.port ? std::to_string(s.port) : std::string("5432")) + "/" +
           (s.database.empty() ? std::string("(default)") : s.database);
  if (!s.user.empty()) where += " as " + s.user;
  return where;
}

LineStore::LineStore(std::string connection, std::string where)
    : connection_(std::move(connection)), where_(std::move(where)) {}

LineStore::~LineStore() {
  QSqlDatabase::database(ToQt(connection_), false).close();
  QSqlDatabase::removeDatabase(ToQt(connection_));
}

void LineStore::LoadDriver() {
  const QString probe = "kzb7310-line-driver";
  QSqlDatabase::addDatabase("QPSQL", probe);
  QSqlDatabase::removeDatabase(probe);
}

base::Failure LineStore::Failed(const SqlWhy& why) const {
  return base::Failure{base::Failure::Kind::ResultsNotStored, where_,
                       why.text.empty() ? "the server refused it without a reason" : why.text,
                       why.cause};
}

base::Result<std::unique_ptr<LineStore>> LineStore::Open(const selftest::LineSettings& settings) {
  static std::atomic<int> opened{0};
  std::unique_ptr<LineStore> store(
      new LineStore("kzb7310-line-" + std::to_string(++opened), Where(settings)));
  if (auto problem = PassFileProblem()) return store->Failed({*problem, Cause::PassFileOpen});
  QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", ToQt(store->connection_));
  if (!db.isValid()) return store->Failed({"Qt has no PostgreSQL driver (the sqldrivers plugin)"});
  if (!settings.host.empty()) db.setHostName(ToQt(settings.host));
  if (settings.port) db.setPort(settings.port);
  if (!settings.database.empty()) db.setDatabaseName(ToQt(settings.database));
  if (!settings.user.empty()) db.setUserName(ToQt(settings.user));
  db.setConnectOptions(Options(settings));
  const auto connecting = std::chrono::steady_clock::now();
  if (!db.open()) {
    // A connection that never reached a server has no SQLSTATE: the network says why, or
    // the time it took: one that ran out of its time found a server that does not answer.
    SqlWhy why = PostgresWhy(db.lastError());
    if (why.cause == Cause::Other &&
        std::chrono::steady_clock::now() - connecting >= kConnectWait) {
      why.cause = Cause::LineNoAnswer;
    }
    if (why.cause == Cause::Other && settings.service.empty()) {
      const bool tls = settings.sslmode == "require" || settings.sslmode == "verify-ca" ||
                       settings.sslmode == "verify-full";
      // Where the profile names no host or port, libpq takes them from its environment.
      const char* host = std::getenv("PGHOST");
      const char* port = std::getenv("PGPORT");
      why.cause = UnreachableCause(!settings.host.empty() ? settings.host
                                   : host                 ? host
                                                          : "",
                                   settings.port ? settings.port
                                   : port        ? std::atoi(port)
                                                 : 0,
                                   tls, kReachWait);
    }
    return store->Failed(why);
  }
  const QVariant handle = db.driver()->handle();
  if (handle.isValid() && handle.constData()) {
    store->socket_ = SocketOf(*static_cast<void* const*>(handle.constData()));
  }
  if (auto problem = store->SchemaProblem()) return *problem;
  return store;
}

base::Result<> LineStore::BoundStatements(std::chrono::milliseconds wait) const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  if (!query.exec(QString("SET statement_timeout = %1").arg(qlonglong(wait.count())))) {
    return Failed(PostgresWhy(query.lastError()));
  }
  return {};
}

bool LineStore::Answers() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  return query.exec("SELECT 1") && query.next();
}

void LineStore::Cut() const {
  ShutDown(socket_);
}

std::optional<base::Failure> LineStore::SchemaProblem() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  // Who we are needs no grant: a refusal below names the role.
  std::string role = "(unknown)";
  if (query.exec("SELECT session_user") && query.next()) role = FromQt(query.value(0));
  if (!query.exec("SELECT count(version), max(version) FROM kzb_schema") || !query.next()) {
    const SqlWhy why = PostgresWhy(query.lastError());
    if (why.cause == Cause::LineNoGrant) {
      return Failed({"the role " + role + " lacks the line's grants (" + why.text +
                         "): the line's owner grants it kzb_station (a station) or kzb_reader "
                         "(reports)",
                     Cause::LineNoGrant});
    }
    // A missing table is a database without the schema.
    return Failed({"not a line database (" + why.text + "): apply line-schema.sql",
                   why.cause == Cause::Other ? Cause::LineNoSchema : why.cause});
  }
  if (query.value(0).toInt() == 0) {
    return Failed(
        {"the line's kzb_schema holds no version: apply line-schema.sql", Cause::LineNoSchema});
  }
  const int version = query.value(1).toInt();
  if (version > kLineSchemaVersion) {
    return Failed({"the line's schema " + std::to_string(version) +
                       " is newer than this program knows (" + std::to_string(kLineSchemaVersion) +
                       "): update the program",
                   Cause::LineNewer});
  }
  if (version < kLineSchemaVersion) {
    return Failed({"the line's schema " + std::to_string(version) +
                       " is older than this program's (" + std::to_string(kLineSchemaVersion) +
                       "): the line's owner applies this program's line-schema.sql",
                   Cause::LineNoSchema});
  }
  return std::nullopt;
}

base::Result<ClockReading> LineStore::ReadClock() const {
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  // The server read its clock somewhere inside the round trip: its midpoint is off by at
  // most half the round trip. A short one is tried for a few times; the shortest counts.
  ClockReading reading{.offsetSeconds = std::nullopt,
                       .boundSeconds = std::numeric_limits<double>::infinity()};
  std::optional<double> offset;
  for (int i = 0; i < kClockTries && reading.boundSeconds > kClockBoundLimitSeconds; ++i) {
    const auto before = std::chrono::system_clock::now();
    const auto started = std::chrono::steady_clock::now();
    if (!query.exec("SELECT kzb_clock()") || !query.next()) {
      return Failed(PostgresWhy(query.lastError()));
    }
    const auto half = (std::chrono::steady_clock::now() - started) / 2;
    const double bound = std::chrono::duration<double>(half).count();
    if (bound >= reading.boundSeconds) continue;
    reading.boundSeconds = bound;
    offset = query.value(0).toDouble() -
             std::chrono::duration<double>((before + half).time_since_epoch()).count();
  }
  if (reading.boundSeconds <= kClockBoundLimitSeconds) reading.offsetSeconds = offset;
  return reading;
}

base::Result<bool> LineStore::Upload(const selftest::RunRecord& run, const ClockReading& clock) {
  const RunJson json = RunAsJson(run, clock.offsetSeconds, clock.boundSeconds);
  QSqlQuery query(QSqlDatabase::database(ToQt(connection_), false));
  // One statement, so one transaction: the run, its checks and its figures, or nothing.
  query.prepare("SELECT kzb_add_run(?::jsonb, ?::jsonb, ?::jsonb)");
  query.addBindValue(json.run);
  query.addBindValue(json.checks);
  query.addBindValue(json.figures);
  if (!query.exec() || !query.next()) return Failed(PostgresWhy(query.lastError()));
  return query.value(0).toBool();  // false: the line has the run already
}

}  // namespace line
