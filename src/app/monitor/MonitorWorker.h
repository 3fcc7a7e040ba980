// The line monitor's own thread: it connects to the line, reads what the monitor shows at
// first, hears each run the server adds and reads that run alone, and sees that the server
// still answers; when it does not, it says so and connects again. Every wait is bounded: the
// connection's (libpq's connect_timeout) and each statement's. The window's thread only hears
// from it, in queued calls that carry a picture it no longer touches.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LineMonitor.h"
#include "LineSettings.h"

class QTimer;
namespace line {
class LineStore;
}

// What the window draws, computed on the worker's thread.
struct MonitorPicture {
  std::string where, since, figure, chartStation;
  size_t runs = 0;
  std::vector<line::StationState> stations;
  std::vector<line::YieldRow> yields;
  std::vector<line::FailureCount> pareto;
  std::vector<std::string> figureNames;
  std::vector<spc::Sample> chart;
  spc::Analysis analysis;
};

class MonitorWorker : public QObject {
  Q_OBJECT

 public:
  // How long a statement may take, and how often the worker sees that the server answers
  // (and, when it did not, tries again).
  static constexpr std::chrono::milliseconds kStatementWait{5000};
  static constexpr std::chrono::milliseconds kWatchEvery{3000};

  using Shown = std::function<void(std::shared_ptr<const MonitorPicture>)>;
  using Lost = std::function<void(const base::Failure&)>;

  // `shown` and `lost` are called on `receiver`'s thread, queued; nothing is called once
  // the receiver is gone.
  MonitorWorker(selftest::LineSettings settings, QObject* receiver, Shown shown, Lost lost);
  ~MonitorWorker() override;

  // Each on the worker's thread (queued): connect and show; show another span or figure;
  // let go of the connection.
  void Start();
  void Choose(const std::string& since, const std::string& figure, const std::string& station);
  void Stop();

 private:
  void Connect();
  void Heard(const std::string& id);
  void ReadHeard();
  void Watch();
  void Lose(const base::Failure& failure);
  void Show();

  selftest::LineSettings settings_;
  QObject* receiver_;
  Shown shown_;
  Lost lost_;
  std::unique_ptr<line::LineStore> store_;
  line::MonitorModel model_;
  std::string since_, figure_, station_;
  std::vector<std::string> heard_;
  QTimer* watch_ = nullptr;
  QTimer* readSoon_ = nullptr;
};
