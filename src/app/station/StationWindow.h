// The production station: an operator scans a card's serial number (a scanner types it and
// sends Enter; it lands in the serial field wherever the focus is), the self-test runs on a thread
// of its own, the checks show their state as they run, and a banner across the top says 通过, 失败
// (with the first failing check) or 中止 for the serial in the field, or that it was not tested.
// Every run is stored in the results database with a JSON report beside it; the day's count and
// yield and the last 10 results stay in view.
#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "KeepRun.h"
#include "LineUploader.h"
#include "ProductionCheck.h"
#include "Profile.h"
#include "StationShift.h"

class StationLineRow;
class StationRuleLine;

class QKeyEvent;
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
  // A card is under test (its worker may go on reading the day's results after it).
  bool running() const { return !running_.empty(); }
  // Waits for the running test and shows its end (for tests).
  void WaitForTest();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // A run neither in the database nor held for it yet, kept in memory for the next scan.
  using Unsaved = production::KeptRun;
  struct Finished;
  void SetUpControls();
  void LayOut();
  // Off the window's thread: held runs stored, the day's results read, the library tried.
  void ReadAtStart();
  void StartUploader();
  // True when `serial` starts no test, said in the banner and the message.
  bool RefuseScan(const std::string& serial);
  void ShowStart(const Finished& finished);
  void ShowFinished(Finished& finished);
  void ShowBanner(const Finished& finished);
  void ShowMessage(const QString& text, bool problem);
  void ShowHistory(const production::DayResults& day);
  void SetBanner(const QString& text, const char* colour);
  // The serial in the field was edited: a verdict or refusal of another serial no longer
  // stands over it.
  void SerialEdited(const QString& text);
  // Asks before closing with runs not in the database; true: close.
  bool CloseWithHeldRuns();

  std::string cardLibrary_;
  selftest::Profile profile_;
  selftest::Clock clock_;
  std::atomic<bool> interrupted_{false};
  // The last test's: the test, keeping its run, then reading the day; the next joins it.
  std::thread worker_;
  // The start: held runs stored, the day's results read; the first worker takes it over and
  // joins it before it stores.
  std::thread history_;
  QLabel* banner_;
  QLineEdit* serial_;
  QLineEdit* operator_;
  QPushButton* start_;
  QPushButton* stop_;
  QTreeWidget* checks_;
  QLabel* message_;
  QLabel* today_;
  QTableWidget* recent_;
  StationLineRow* line_;              // the line database's state; hidden without a [line]
  StationRuleLine* rules_ = nullptr;  // the line's process alarm; none without a [line]
  // The run's road from scan to the database, the reports and the line (the uploader, when
  // the profile names a line); its store is the start thread's, then each worker's.
  std::unique_ptr<production::StationShift> shift_;
  std::string running_;  // the serial under test
  bool runFinished_ = false;
  std::vector<Unsaved> unsaved_;  // runs neither stored nor held on disk
  std::string bannerSerial_;      // the serial the banner's verdict or refusal is for; empty: none
  QString bannerText_;            // whole, before eliding
  const char* bannerColour_ = "#6e7781";
};
