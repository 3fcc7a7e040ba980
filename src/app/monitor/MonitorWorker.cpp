#include "MonitorWorker.h"

#include <QTimer>

#include "LineStore.h"

MonitorWorker::MonitorWorker(selftest::LineSettings settings, QObject* receiver, Shown shown,
                             Lost lost)
    : settings_(std::move(settings)),
      receiver_(receiver),
      shown_(std::move(shown)),
      lost_(std::move(lost)) {}

MonitorWorker::~MonitorWorker() = default;

void MonitorWorker::Start() {
  watch_ = new QTimer(this);
  watch_->setInterval(kWatchEvery);
  connect(watch_, &QTimer::timeout, this, &MonitorWorker::Watch);
  // Runs heard of together are read together: the server names them as their transactions
  // commit, often several at once.
  readSoon_ = new QTimer(this);
  readSoon_->setSingleShot(true);
  readSoon_->setInterval(20);
  connect(readSoon_, &QTimer::timeout, this, &MonitorWorker::ReadHeard);
  watch_->start();
  Connect();
}

void MonitorWorker::Stop() {
  if (watch_) watch_->stop();
  if (readSoon_) readSoon_->stop();
  store_.reset();
}

void MonitorWorker::Choose(const std::string& since, const std::string& figure,
                           const std::string& station) {
  since_ = since;
  figure_ = figure;
  station_ = station;
  if (!store_) return;  // the next connection reads it
  auto start = store_->MonitorSince(since_, figure_, station_);
  if (!start) return Lose(start.failure());
  model_.Reset(std::move(start.value()), figure_, station_);
  Show();
}

void MonitorWorker::Connect() {
  auto store = line::LineStore::Open(settings_);
  if (!store) return Lose(store.failure());
  store_ = std::move(store.value());
  auto watching = store_->BoundStatements(kStatementWait);
  if (watching) watching = store_->WatchRuns([this](const std::string& id) { Heard(id); });
  if (!watching) return Lose(watching.failure());
  Choose(since_, figure_, station_);
}

void MonitorWorker::Heard(const std::string& id) {
  heard_.push_back(id);
  if (!readSoon_->isActive()) readSoon_->start();
}

void MonitorWorker::ReadHeard() {
  if (!store_ || heard_.empty()) return;
  auto runs = store_->MonitorRuns(heard_, figure_, station_);
  if (!runs) return Lose(runs.failure());
  heard_.clear();
  bool added = false;
  for (const line::MonitorRun& run : runs.value()) added = model_.Add(run) || added;
  if (added) Show();
}

void MonitorWorker::Watch() {
  // A connection the server dropped says little of why: a new one says what the network does.
  if (store_ && !store_->Answers()) store_.reset();
  if (!store_) Connect();
}

void MonitorWorker::Lose(const base::Failure& failure) {
  // What the window shows stays; the connection goes, and the next watch makes a new one,
  // which reads the picture again (runs added meanwhile were never heard of).
  store_.reset();
  heard_.clear();
  QMetaObject::invokeMethod(
      receiver_, [lost = lost_, failure] { lost(failure); }, Qt::QueuedConnection);
}

void MonitorWorker::Show() {
  auto picture = std::make_shared<MonitorPicture>();
  picture->where = store_ ? store_->where() : std::string();
  picture->since = model_.since();
  picture->figure = model_.figure();
  picture->chartStation = model_.chartStation();
  picture->runs = model_.RunCount();
  picture->stations = model_.Stations();
  picture->yields = model_.Yields();
  picture->pareto = model_.Pareto();
  picture->figureNames = model_.FigureNames();
  picture->chart = model_.ChartSamples();
  picture->analysis = model_.ChartAnalysis();
  QMetaObject::invokeMethod(
      receiver_,
      [shown = shown_, picture = std::shared_ptr<const MonitorPicture>(std::move(picture))] {
        shown(picture);
      },
      Qt::QueuedConnection);
}
