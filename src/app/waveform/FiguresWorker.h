// Measures the converter figures of the traces on a thread of its own, so that a long record
// (20 blocks, 6000 points a channel) costs the window's tick next to nothing. The newest
// records win: a job still waiting when the next arrives is dropped.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "AdcFigures.h"

class FiguresWorker {
 public:
  // The blocks are shared, not copied: the window fills a block's storage again only once
  // no job holds it.
  using SharedBlock = std::shared_ptr<const std::vector<int16_t>>;
  struct Job {
    std::vector<int> channels;
    std::vector<SharedBlock> blocks;  // oldest first, each of `shape`
    acquisition::BlockView shape;     // channels, points and rate; no cells
    double sampleRateHz = 0;
  };
  struct Result {
    std::vector<int> channels;
    std::vector<acquisition::AdcFigures> figures;
    size_t recordPoints = 0;
  };

  // `done` is called on `context`'s thread, after the event loop takes it up.
  FiguresWorker(QObject* context, std::function<void(Result)> done);
  ~FiguresWorker();

  void Submit(Job job);
  // Waits until every job submitted so far is measured (its result on its way to `done`).
  void WaitIdle();

 private:
  void Work();

  QObject* context_;
  std::function<void(Result)> done_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::optional<Job> pending_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest is in place
};
