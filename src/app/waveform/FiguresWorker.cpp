#include "FiguresWorker.h"

#include <QMetaObject>

FiguresWorker::FiguresWorker(QObject* context, std::function<void(Result)> done)
    : context_(context), done_(std::move(done)), thread_([this] { Work(); }) {}

FiguresWorker::~FiguresWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void FiguresWorker::Submit(Job job) {
  {
    std::lock_guard lock(mutex_);
    pending_ = std::move(job);
  }
  wake_.notify_one();
}

void FiguresWorker::WaitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !pending_ && !busy_; });
}

void FiguresWorker::Work() {
  // One analyser per trace slot: each keeps its window and plan for its record length.
  std::vector<acquisition::AdcAnalyser> analysers(4);
  std::vector<float> record;
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || pending_; });
      if (stopping_) return;
      job = std::move(*pending_);
      pending_.reset();
      busy_ = true;
    }
    Result result;
    result.channels = job.channels;
    result.figures.resize(std::min(job.channels.size(), analysers.size()));
    for (size_t i = 0; i < result.figures.size(); ++i) {
      record.clear();
      for (const SharedBlock& block : job.blocks) {
        acquisition::BlockView view = job.shape;
        view.cells = block->data();
        acquisition::AppendChannelCodes(view, job.channels[i], record);
      }
      analysers[i].Measure(record, job.sampleRateHz, result.figures[i]);
      result.recordPoints = std::max(result.recordPoints, record.size());
    }
    job.blocks.clear();  // the window may fill them again
    // Qt drops the call when the context is gone before its event loop gets to it.
    QMetaObject::invokeMethod(
        context_, [done = done_, result = std::move(result)]() mutable { done(std::move(result)); },
        Qt::QueuedConnection);
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
    idle_.notify_all();
  }
}
