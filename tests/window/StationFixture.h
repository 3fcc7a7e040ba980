// The station window on the simulated card's own clock, its database in a folder of its own.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "ResultsStore.h"
#include "StationWindow.h"
#include "WindowFixture.h"

inline selftest::Profile StationProfile(const std::string& more = {}) {
  std::ifstream in(PROFILES_DIR "/simulated-card.ini");
  std::stringstream text;
  text << in.rdbuf() << "\n[station]\nname = 工位3\nserial_pattern = KZB[0-9]{6}\n" << more;
  return selftest::ParseProfile(text.str(), "station.ini").value();
}

// Time moves only when the test sleeps, on the card's clock and the test's alike.
// A test that must act in the middle of a run holds it at its next sleep until it lets go.
struct ManualClock {
  double seconds = 0;
  std::atomic<bool> held{false};
  selftest::Clock clock{.nowSeconds = [this] { return seconds; },
                        .sleepMs =
                            [this](int ms) {
                              seconds += ms / 1000.0;
                              SimCard_AdvanceMs(ms);
                              while (held)
                                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            }};
};

struct Station {
  explicit Station(const char* library = ADCARD_PATH, const std::string& profileMore = {}) {
    SimCard_Reset();
    SimCard_SetManualClock(1);
    qputenv("KZB_RESULTS_DB", dir.filePath("results/results.sqlite").toUtf8());
    window = std::make_unique<StationWindow>(library, StationProfile(profileMore), time.clock);
    window->WaitForTest();
  }
  ~Station() { qunsetenv("KZB_RESULTS_DB"); }
  void Scan(const QString& serial) {
    auto* field = window->findChild<QLineEdit*>("txtSerial");
    field->setText(serial);
    emit field->returnPressed();  // what a scanner's Enter does
    window->WaitForTest();
  }
  QString Banner() const { return window->findChild<QLabel*>("lblBanner")->text(); }
  QString Message() const { return window->findChild<QLabel*>("lblMessage")->text(); }
  std::vector<selftest::RunRecord> Stored() const {
    auto store = results::ResultsStore::Open(dir.filePath("results/results.sqlite").toStdString());
    return store.value()->Runs({}).value();
  }

  QTemporaryDir dir;
  ManualClock time;
  std::unique_ptr<StationWindow> window;
};
