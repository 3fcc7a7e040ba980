#include "WaveformWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "FiguresWorker.h"
#include "FrequencyPlot.h"
#include "RecordPanel.h"
#include "RecordingViewer.h"
#include "TriggerControls.h"
#include "ViewFiles.h"
#include "WaveformPlot.h"
#include "WholeFile.h"
#include "WidgetText.h"

WaveformWindow::WaveformWindow(const QString& saveFolder, QWidget* parent,
                               acquisition::BlockFeed* feed)
    : QWidget(parent, Qt::Window),
      plot_(new WaveformPlot(this)),
      freeze_(new QPushButton("冻结", this)),
      fit_(new QCheckBox("纵轴适应数据", this)),
      spectrum_(new FrequencyPlot(this)),
      spectrumBox_(new QCheckBox("频谱", this)),
      recordLength_(new QComboBox(this)),
      savePicture_(new QPushButton("保存图片…", this)),
      saveValues_(new QPushButton("保存数据…", this)),
      ageTimer_(new QTimer(this)),
      record_(new RecordPanel(saveFolder, this)),
      trigger_(new TriggerControls(plot_, feed != nullptr, this)),
      saveFolder_(saveFolder),
      feed_(feed) {
  setObjectName("WaveformWindow");
  setWindowTitle("波形显示");
  SetUpControls();
  LayOut();
  connect(freeze_, &QPushButton::toggled, this, &WaveformWindow::SetFrozen);
  connect(fit_, &QCheckBox::toggled, plot_, &WaveformPlot::SetFitToData);
  connect(spectrumBox_, &QCheckBox::toggled, this, &WaveformWindow::ShowSpectrum);
  connect(recordLength_, &QComboBox::currentIndexChanged, this, [this] { MeasureSpectrum(true); });
  worker_ = std::make_unique<FiguresWorker>(this, [this](FiguresWorker::Result result) {
    spectrum_->SetFigures(std::move(result.channels), std::move(result.figures),
                          result.recordPoints, block_.channelRateHz(), scale_);
  });
  connect(savePicture_, &QPushButton::clicked, this, [this] {
    ChooseAndSave(this, saveFolder_, "保存图片", FileStem() + ".png", "PNG (*.png)",
                  [this](const QString& path) { return SavePicture(path); });
  });
  connect(saveValues_, &QPushButton::clicked, this, [this] {
    ChooseAndSave(this, saveFolder_, "保存数据", FileStem() + ".csv", "CSV (*.csv)",
                  [this](const QString& path) { return SaveValues(path); });
  });
  connect(record_, &RecordPanel::openRequested, this, [this](const QString& folder) {
    auto* viewer = new RecordingViewer(folder, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
  });
  ConnectTrigger();
  connect(ageTimer_, &QTimer::timeout, this, &WaveformWindow::ShowAge);
  ageTimer_->start(1000);
  SetFrozen(false);
  if (feed_) Subscribe();
}

// The four trace slots ("曲线1:" …), each a list of the 64 channels or none.
QHBoxLayout* WaveformWindow::TraceSlots() {
  auto* controls = new QHBoxLayout;
  for (int i = 0; i < kTraceSlots; ++i) {
    auto* slot = new QComboBox(this);
    slot->setObjectName(QString("cboTrace%1").arg(i));
    slot->addItem("无", -1);
    for (int ch = 0; ch < 64; ++ch) slot->addItem(ToQt(acquisition::TraceName(ch)), ch);
    connect(slot, &QComboBox::currentIndexChanged, this, &WaveformWindow::Redraw);
    controls->addWidget(new QLabel(QString("曲线%1:").arg(i + 1), this));
    controls->addWidget(slot);
    slots_[i] = slot;
  }
  controls->addStretch();
  return controls;
}

void WaveformWindow::SetUpControls() {
  freeze_->setObjectName("cmdFreeze");
  freeze_->setCheckable(true);
  freeze_->setToolTip("冻结当前数据块（空格键）");
  // Space freezes wherever the focus is in this window, a check box or a channel list too.
  auto* freezeKey = new QShortcut(Qt::Key_Space, this);
  freezeKey->setObjectName("freezeShortcut");
  freezeKey->setAutoRepeat(false);  // held down, it freezes once
  connect(freezeKey, &QShortcut::activated, this, [this] { SetFrozen(!frozen()); });
  fit_->setObjectName("chkFit");
  spectrumBox_->setObjectName("chkSpectrum");
  spectrumBox_->setToolTip(QString("频谱与模数转换指标 (SNR, THD, SINAD, ENOB)，%1 窗")
                               .arg(acquisition::kAnalysisWindowName));
  recordLength_->setObjectName("cboRecord");
  recordLength_->addItem("最新 1 块", 1);
  recordLength_->addItem(QString("最近 %1 块").arg(kHistoryBlocks), kHistoryBlocks);
  recordLength_->setToolTip("频谱的记录长度: 1 块 300 点，20 块 6000 点");
  spectrum_->setObjectName("FrequencyPlot");
  spectrum_->hide();
  savePicture_->setObjectName("cmdSavePicture");
  saveValues_->setObjectName("cmdSaveValues");
}

void WaveformWindow::LayOut() {
  auto* actions = new QHBoxLayout;
  actions->addWidget(freeze_);
  actions->addWidget(fit_);
  actions->addWidget(spectrumBox_);
  actions->addWidget(recordLength_);
  actions->addStretch();
  actions->addWidget(savePicture_);
  actions->addWidget(saveValues_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(TraceSlots());
  layout->addWidget(trigger_);
  layout->addWidget(plot_, 1);
  layout->addWidget(spectrum_, 1);
  layout->addLayout(actions);
  layout->addWidget(record_);
  resize(760, 600);
}

WaveformWindow::~WaveformWindow() {
  if (feed_) feed_->Unsubscribe(subscription_);
}

// Only a window on view draws a tick's block; the recording row takes every block itself.
// The trigger hears every block, on view or not, and the blocks are counted from the start
// so that a trigger set up while the card runs times from the acquisition's start.
void WaveformWindow::Subscribe() {
  record_->SetFeed(feed_);
  record_->SetTrigger([this] { return trigger_->ControlsTrigger(); });
  subscription_ = feed_->Subscribe(
      {.block = [this](const acquisition::BlockView& block,
                       int lostBefore) { trigger_->Feed(block, lostBefore); },
       .tick =
           [this](const acquisition::BlockView& last, const acquisition::ChannelValues& values) {
             if (isVisible()) ShowBlock(last, values.Scale, values.BlocksReceived);
           },
       .stopped =
           [this] {
             trigger_->Stopped();
             ShowNote();
           }});
}

void WaveformWindow::SetTriggerMode(TriggerMode mode) {
  trigger_->SetMode(mode);
}

void WaveformWindow::ArmSingle() {
  trigger_->ArmSingle();
}

// The trigger set up anew redraws; a span captured while frozen waits for the thaw, and the
// spectrum on view follows a new span.
void WaveformWindow::ConnectTrigger() {
  connect(trigger_, &TriggerControls::changed, this, [this] {
    ShowNote();
    Redraw();
  });
  connect(trigger_, &TriggerControls::fired, this, &WaveformWindow::ShowNote);
  connect(trigger_, &TriggerControls::captured, this, [this] {
    ShowNote();
    if (frozen()) return;
    Redraw();
    if (spectrumShown()) MeasureSpan();
  });
  connect(trigger_, &TriggerControls::spanFiguresAsked, this, [this] {
    if (!spectrumShown()) {
      spectrumBox_->setChecked(true);  // measures the span as it opens
    } else {
      MeasureSpectrum(true);
    }
  });
  connect(plot_, &WaveformPlot::levelDragged, trigger_, &TriggerControls::LevelDragged);
}

void WaveformWindow::ShowLatest() {
  if (feed_) ShowBlock(feed_->LatestBlock(), feed_->values().Scale, feed_->values().BlocksReceived);
}

void WaveformWindow::AddChannel(int channel) {
  const int index = channel + 1;  // item 0 is "无"
  for (QComboBox* slot : slots_) {
    if (slot->currentIndex() == index) return;
  }
  for (QComboBox* slot : slots_) {
    if (slot->currentIndex() == 0) {
      slot->setCurrentIndex(index);
      return;
    }
  }
  slots_.back()->setCurrentIndex(index);
}

std::vector<int> WaveformWindow::Channels() const {
  std::vector<int> channels;
  for (QComboBox* slot : slots_) {
    if (slot->currentIndex() > 0) channels.push_back(slot->currentIndex() - 1);
  }
  return channels;
}

void WaveformWindow::ShowBlock(const acquisition::BlockView& block,
                               const acquisition::VoltageScale& scale, int blockNumber) {
  if (frozen() || block.empty()) return;
  // The spectrum's record holds only blocks that follow one another: one the window did not
  // see (hidden, or two in one tick) starts it again; the same block again adds nothing.
  const bool again = blockNumber == blockNumber_ && history_.count() > 0;
  if (!again && blockNumber != blockNumber_ + 1) history_.Clear();
  blockNumber_ = blockNumber;
  blockTime_ = QDateTime::currentDateTime();
  if (!again) history_.Remember(block);
  cells_.assign(block.cells, block.cells + block.cellCount());
  block_ = block;
  block_.cells = cells_.data();
  scale_ = scale;
  lastBlock_.start();
  ageNote_.clear();
  ShowNote();
  if (!trigger_->Holds()) Redraw();
}

// The live block, or the trigger's span while it holds one (nothing while it waits for the
// first).
void WaveformWindow::Redraw() {
  const std::vector<int> channels = Channels();
  const acquisition::BlockView shown = trigger_->Shown(block_);
  spare_.resize(shown.empty() ? 0 : channels.size());
  for (size_t i = 0; i < spare_.size(); ++i) {
    if (channels[i] < shown.channels) {
      acquisition::ExtractTrace(shown, channels[i], scale_, spare_[i]);
    } else {
      spare_[i] = acquisition::Trace{};  // a channel the block lacks
      spare_[i].channel = channels[i];
    }
  }
  plot_->SwapTraces(spare_, acquisition::PointIntervalMs(shown.aggregateRate, shown.channels));
  MeasureSpectrum();
}

bool WaveformWindow::spectrumShown() const {
  return spectrumBox_->isChecked();
}

void WaveformWindow::ShowSpectrum(bool shown) {
  plot_->setVisible(!shown);
  spectrum_->setVisible(shown);
  MeasureSpectrum(true);
}

void WaveformWindow::MeasureSpectrum(bool force) {
  if (!spectrumShown()) return;
  if (trigger_->Holds()) {
    if (force) MeasureSpan();
    return;
  }
  if (history_.count() == 0) return;
  const int blocks = std::min(recordLength_->currentData().toInt(), history_.count());
  std::vector<int> channels = Channels();
  // A full 20-block record moves by one block in twenty: its spectrum is measured again
  // every third block (1.15 s), or at once when it is of other channels or another length.
  if (!force && blocks == kHistoryBlocks && blocks == measuredBlocks_ &&
      channels == measuredChannels_ && ++blocksSinceMeasured_ < kLongRecordEvery) {
    return;
  }
  blocksSinceMeasured_ = 0;
  measuredBlocks_ = blocks;
  measuredChannels_ = channels;
  FiguresWorker::Job job;
  job.channels = std::move(channels);
  job.shape = history_.shape();
  job.sampleRateHz = block_.channelRateHz();
  job.blocks = history_.Last(blocks);
  worker_->Submit(std::move(job));
}

// The held span's figures, measured only when asked: it is one record of its own.
void WaveformWindow::MeasureSpan() {
  const auto& span = trigger_->span();
  const acquisition::BlockView& spanView = trigger_->spanView();
  if (!span || spanView.points <= 0) return;
  measuredBlocks_ = 0;  // the next live record is measured afresh
  FiguresWorker::Job job;
  job.channels = Channels();
  job.shape = spanView;
  job.shape.cells = nullptr;
  job.sampleRateHz = spanView.channelRateHz();
  job.blocks.push_back(FiguresWorker::SharedBlock(span, &span->cells));
  worker_->Submit(std::move(job));
}

void WaveformWindow::WaitForSpectrum() {
  worker_->WaitIdle();
  QCoreApplication::sendPostedEvents(this);
}

const std::vector<acquisition::Trace>& WaveformWindow::traces() const {
  return plot_->traces();
}

// A card that stops delivering leaves its last block on view; the note says how old it is.
void WaveformWindow::ShowAge() {
  if (frozen() || !lastBlock_.isValid()) return;
  const qint64 seconds = lastBlock_.elapsed() / 1000;
  ageNote_ = seconds >= 2 ? QString("最后数据: %1 秒前").arg(seconds) : QString();
  ShowNote();
}

void WaveformWindow::SetLossNote(const QString& note) {
  // A new loss: the blocks after it are no continuation of those before.
  if (!note.isEmpty() && note != lossNote_) history_.Clear();
  lossNote_ = note;
  ShowNote();
}

void WaveformWindow::ShowNote() {
  QStringList notes;
  for (const QString& note : QStringList{frozen() ? QString("已冻结") : QString()} +
                                 trigger_->Notes() + QStringList{ageNote_, lossNote_}) {
    if (!note.isEmpty()) notes << note;
  }
  shownNote_ = notes.join("  ");
  plot_->SetNote(shownNote_);
  spectrum_->SetNote(shownNote_);
}

bool WaveformWindow::frozen() const {
  return freeze_->isChecked();
}

void WaveformWindow::SetFrozen(bool frozen) {
  if (freeze_->isChecked() != frozen) freeze_->setChecked(frozen);
  freeze_->setText(frozen ? "继续" : "冻结");
  savePicture_->setEnabled(frozen);
  saveValues_->setEnabled(frozen);
  ShowNote();
  if (!frozen && trigger_->Holds()) Redraw();  // a span captured while frozen
}

QString WaveformWindow::BlockCaption() const {
  return QString("数据块 %1   时间 %2")
      .arg(blockNumber_)
      .arg(blockTime_.toString("yyyy-MM-dd HH:mm:ss"));
}

// "spectrum-块37-20261210-080512": what the view shows, of which block, when.
QString WaveformWindow::FileStem() const {
  return QString("%1-块%2-%3")
      .arg(spectrumShown() ? "spectrum" : "waveform")
      .arg(blockNumber_)
      .arg(blockTime_.toString("yyyyMMdd-HHmmss"));
}

QString WaveformWindow::SavePicture(const QString& path) {
  return WriteViewPicture(spectrumShown() ? static_cast<QWidget*>(spectrum_) : plot_,
                          BlockCaption(), path);
}

QString WaveformWindow::SaveValues(const QString& path) {
  const std::string time = FromQt(blockTime_.toString("yyyy-MM-dd HH:mm:ss"));
  const double voltsPerCode =
      scale_.FullScaleCount > 0 ? static_cast<double>(scale_.SpanVolts) / scale_.FullScaleCount : 0;
  const auto written = base::WriteWholeFile(
      FromQt(path),
      spectrumShown()
          ? acquisition::SpectrumCsv(spectrum_->channels(), spectrum_->figures(), voltsPerCode,
                                     spectrum_->recordPoints(), blockNumber_, time)
          : acquisition::TracesCsv(traces(), plot_->pointIntervalMs(), blockNumber_, time));
  return written ? QString() : ToQt(written.failure().reason);
}
