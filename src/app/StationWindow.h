// The production station: an operator scans a card's serial number (a scanner types it and
// sends Enter), the self-test runs on a thread of its own, the checks show their state as
// they run, and a banner across the top says 通过, 失败 (with the first failing check) or 中止
// until the next serial. Every run is stored in the results database with a JSON report
// beside it; the day's count and yield and the last 10 results stay in view.
#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ProductionCheck.h"
#include "Profile.h"
#include "Report.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

class StationWindow : public QWidget {
  Q_OBJECT

 public:
  // Tests give a clock of their own; the station otherwise waits in real time.
  StationWindow(std::string cardLibrary, selftest::Profile profile,
                selftest::Clock clock = selftest::SystemClock(), QWidget* parent = nullptr);
  ~StationWindow() override;

  // Starts a test of the serial in the field, unless one runs or the serial is refused.
  void StartTest();
  // Ends a running test early; the card is stopped and its outputs set to 0.
  void StopTest();
  bool running() const { return worker_.joinable(); }
  // Waits for the running test and shows its end (for tests).
  void WaitForTest();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Unsaved;
  struct Finished;
  // On the worker: one test of a card, then keeping its result; false when neither the
  // database nor a report holds it.
  Unsaved Test(const std::string& serial, const std::string& operatorName);
  bool Keep(Unsaved& run) const;
  void ReadHistory(Finished& finished) const;
  void ShowProgress(const std::string& check);
  void ShowFinished(Finished& finished);
  void ShowMessage(const QString& text, bool problem);
  void ShowHistory(const std::vector<selftest::RunRecord>& today,
                   const std::vector<selftest::RunRecord>& recent);
  void SetBanner(const QString& text, const char* colour);

  std::string cardLibrary_;
  selftest::Profile profile_;
  selftest::Clock clock_;
  std::atomic<bool> interrupted_{false};
  std::thread worker_;
  std::thread history_;  // the day's results, read once at the start
  QLabel* banner_;
  QLineEdit* serial_;
  QLineEdit* operator_;
  QPushButton* start_;
  QPushButton* stop_;
  QTreeWidget* checks_;
  QLabel* message_;
  QLabel* today_;
  QTableWidget* recent_;
  std::string running_;  // the serial under test
  bool runFinished_ = false;
  std::vector<Unsaved> unsaved_;  // runs held until they can be kept
};
