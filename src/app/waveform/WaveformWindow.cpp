#include "WaveformWindow.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "FiguresWorker.h"
#include "FrequencyPlot.h"
#include "RecordPanel.h"
#include "RecordingViewer.h"
#include "TriggerSpec.h"
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
      trigMode_(new QComboBox(this)),
      trigChannel_(new QComboBox(this)),
      trigKind_(new QComboBox(this)),
      trigLevel_(new QDoubleSpinBox(this)),
      trigHigh_(new QDoubleSpinBox(this)),
      trigHyst_(new QDoubleSpinBox(this)),
      trigPre_(new QDoubleSpinBox(this)),
      trigPost_(new QDoubleSpinBox(this)),
      single_(new QPushButton("单次触发", this)),
      spanFigures_(new QPushButton("触发段频谱", this)),
      saveFolder_(saveFolder),
      feed_(feed) {
  setObjectName("WaveformWindow");
  setWindowTitle("波形显示");
  SetUpControls();
  SetUpTriggerControls();
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
    ChooseAndSave("保存图片", FileStem() + ".png", "PNG (*.png)", &WaveformWindow::SavePicture);
  });
  connect(saveValues_, &QPushButton::clicked, this, [this] {
    ChooseAndSave("保存数据", FileStem() + ".csv", "CSV (*.csv)", &WaveformWindow::SaveValues);
  });
  connect(record_, &RecordPanel::openRequested, this, [this](const QString& folder) {
    auto* viewer = new RecordingViewer(folder, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
  });
  for (QComboBox* list : {trigMode_, trigChannel_, trigKind_}) {
    connect(list, &QComboBox::currentIndexChanged, this, &WaveformWindow::SetUpTrigger);
  }
  for (QDoubleSpinBox* box : {trigLevel_, trigHigh_, trigHyst_, trigPre_, trigPost_}) {
    connect(box, &QDoubleSpinBox::valueChanged, this, &WaveformWindow::SetUpTrigger);
  }
  connect(single_, &QPushButton::clicked, this, &WaveformWindow::ArmSingle);
  connect(spanFigures_, &QPushButton::clicked, this, [this] {
    if (!spectrumShown()) {
      spectrumBox_->setChecked(true);  // measures the span as it opens
    } else {
      MeasureSpectrum(true);
    }
  });
  connect(plot_, &WaveformPlot::levelDragged, this, &WaveformWindow::LevelDragged);
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

// The trigger's controls: its mode, channel, kind, level (a window's two ends), hysteresis,
// and the span kept before and after it.
void WaveformWindow::SetUpTriggerControls() {
  trigMode_->setObjectName("cboTrigMode");
  for (const char* mode : {"关闭", "自动", "常规", "单次"}) trigMode_->addItem(mode);
  trigMode_->setToolTip("自动: 无触发时显示实时数据; 常规: 只显示触发段; 单次: 触发一次后停止");
  trigChannel_->setObjectName("cboTrigChannel");
  for (int ch = 0; ch < acquisition::kTriggerChannels; ++ch) {
    trigChannel_->addItem(ToQt(acquisition::TraceName(ch)), ch);
  }
  trigKind_->setObjectName("cboTrigKind");
  const std::pair<const char*, acquisition::TriggerKind> kinds[] = {
      {"上升沿", acquisition::TriggerKind::Rising},
      {"下降沿", acquisition::TriggerKind::Falling},
      {"双沿", acquisition::TriggerKind::Either},
      {"进入窗口", acquisition::TriggerKind::Enter},
      {"离开窗口", acquisition::TriggerKind::Leave}};
  for (const auto& [caption, kind] : kinds) trigKind_->addItem(caption, static_cast<int>(kind));
  const auto volts = [](QDoubleSpinBox* box, const char* name, double low, double value) {
    box->setObjectName(name);
    box->setRange(low, acquisition::kTriggerMostVolts);
    box->setDecimals(3);
    box->setSingleStep(0.1);
    box->setSuffix(" V");
    box->setValue(value);
  };
  volts(trigLevel_, "spnTrigLevel", -acquisition::kTriggerMostVolts, 1.0);
  volts(trigHigh_, "spnTrigHigh", -acquisition::kTriggerMostVolts, 2.0);
  volts(trigHyst_, "spnTrigHyst", 0, acquisition::kTriggerDefaultHysteresisVolts);
  trigLevel_->setToolTip("触发电平 (窗口的下限)，也可在波形上拖动");
  trigHigh_->setToolTip("窗口的上限");
  trigHyst_->setToolTip("回差: 越过电平前须先离开它这么远");
  const auto ms = [](QDoubleSpinBox* box, const char* name, double value, const char* tip) {
    box->setObjectName(name);
    box->setRange(0, acquisition::kTriggerMostPreSeconds * 1000);
    box->setDecimals(0);
    box->setSingleStep(50);
    box->setSuffix(" ms");
    box->setValue(value);
    box->setToolTip(tip);
  };
  ms(trigPre_, "spnTrigPre", 100, "触发前显示的时长");
  ms(trigPost_, "spnTrigPost", 300, "触发后显示的时长");
  trigPost_->setMinimum(1);  // the span ends after the trigger
  single_->setObjectName("cmdSingle");
  single_->setToolTip("单次触发: 等待下一次触发，捕获一段后停止");
  spanFigures_->setObjectName("cmdSpanFigures");
  spanFigures_->setToolTip("所捕获触发段的频谱与模数转换指标");
  spanFigures_->setEnabled(false);
  trigHigh_->setEnabled(false);
  // Without a feed there are no blocks to trigger on.
  for (QWidget* control : std::initializer_list<QWidget*>{trigMode_, single_}) {
    control->setEnabled(feed_ != nullptr);
  }
}

// Two rows, so that the window keeps its width: what fires it, then the span and the buttons.
QVBoxLayout* WaveformWindow::TriggerRows() {
  auto* rows = new QVBoxLayout;
  QHBoxLayout* row = nullptr;
  const auto add = [&](const char* caption, QWidget* control) {
    if (caption) row->addWidget(new QLabel(caption, this));
    row->addWidget(control);
  };
  rows->addLayout(row = new QHBoxLayout);
  add("触发:", trigMode_);
  add(nullptr, trigChannel_);
  add(nullptr, trigKind_);
  add("电平", trigLevel_);
  add("上限", trigHigh_);
  row->addStretch();
  rows->addLayout(row = new QHBoxLayout);
  add("回差", trigHyst_);
  add("触发前", trigPre_);
  add("触发后", trigPost_);
  row->addStretch();
  add(nullptr, single_);
  add(nullptr, spanFigures_);
  return rows;
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
  layout->addLayout(TriggerRows());
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
  record_->SetTrigger([this] { return ControlsTrigger(); });
  subscription_ = feed_->Subscribe(
      {.block =
           [this](const acquisition::BlockView& block, int lostBefore) {
             const int blocks = 1 + std::max(lostBefore, 0);
             cardBlocks_ += blocks;
             if (!trigger_ || block.aggregateRate <= 0) return;
             scope_.Pass(static_cast<double>(blocks) * block.cellCount() / block.aggregateRate);
             trigger_->Feed(block, lostBefore);
           },
       .tick =
           [this](const acquisition::BlockView& last, const acquisition::ChannelValues& values) {
             if (isVisible()) ShowBlock(last, values.Scale, values.BlocksReceived);
           },
       .stopped =
           [this] {
             cardBlocks_ = 0;
             if (trigger_) trigger_->Stopped();
             scope_.Stopped();
             ShowNote();
           }});
}

void WaveformWindow::SetTriggerMode(TriggerMode mode) {
  trigMode_->setCurrentIndex(static_cast<int>(mode));
}

void WaveformWindow::ArmSingle() {
  const QSignalBlocker quiet(trigMode_);
  trigMode_->setCurrentIndex(static_cast<int>(TriggerMode::Single));
  scope_.SetMode(acquisition::ScopeMode::Single);
  SetUpTrigger();
}

// The controls' trigger as its text, read as the command line reads it (the recording row
// records with it too).
base::Result<acquisition::TriggerSpec> WaveformWindow::ControlsTrigger() const {
  const auto kind = static_cast<acquisition::TriggerKind>(trigKind_->currentData().toInt());
  const bool window =
      kind == acquisition::TriggerKind::Enter || kind == acquisition::TriggerKind::Leave;
  const auto volts = [](double v) { return QString::number(v, 'f', 4) + "V"; };
  QString text = QString("ch%1,%2,")
                     .arg(trigChannel_->currentIndex() + 1)
                     .arg(acquisition::TriggerKindWord(kind));
  text += window ? volts(trigLevel_->value()) + ".." + volts(trigHigh_->value())
                 : volts(trigLevel_->value());
  text += ",hyst=" + volts(trigHyst_->value());
  const auto ms = [](QDoubleSpinBox* box) {
    return FromQt(QString::number(box->value(), 'f', 0) + "ms");
  };
  return acquisition::ParseTriggerSpec(FromQt(text), ms(trigPre_), ms(trigPost_));
}

// The controls' trigger, read by the trigger's own text so that it is refused for the same
// reasons as on the command line. Any change arms it anew, except a spent single shot, which
// waits for "单次触发".
void WaveformWindow::SetUpTrigger() {
  const auto mode = static_cast<TriggerMode>(trigMode_->currentIndex());
  const auto kind = static_cast<acquisition::TriggerKind>(trigKind_->currentData().toInt());
  const bool window =
      kind == acquisition::TriggerKind::Enter || kind == acquisition::TriggerKind::Leave;
  trigHigh_->setEnabled(window);
  trigger_.reset();
  triggerProblem_.clear();
  if (mode == TriggerMode::Off || !feed_) {
    scope_ = acquisition::TriggerView();
    span_.reset();
    plot_->SetTriggerLevels({});
    spanFigures_->setEnabled(false);
    ShowNote();
    Redraw();
    return;
  }
  const acquisition::ScopeMode scopeMode =
      mode == TriggerMode::Auto ? acquisition::ScopeMode::Auto
                                : (mode == TriggerMode::Normal ? acquisition::ScopeMode::Normal
                                                               : acquisition::ScopeMode::Single);
  if (scopeMode != scope_.mode()) scope_.SetMode(scopeMode);
  const auto spec = ControlsTrigger();
  plot_->SetTriggerLevels(window ? std::vector<double>{trigLevel_->value(), trigHigh_->value()}
                                 : std::vector<double>{trigLevel_->value()});
  if (!spec) {
    triggerProblem_ = "触发设置无效: " + ReasonText(spec.failure());
  } else if (scope_.armed()) {
    trigger_ = std::make_unique<acquisition::Trigger>(
        spec.value(), acquisition::TriggerModeOf(scopeMode),
        acquisition::TriggerHandlers{
            .fired = [this](const acquisition::FiredTrigger& fired) { TriggerFired(fired); },
            .captured =
                [this](acquisition::TriggerCapture&& capture) {
                  TriggerCaptured(std::move(capture));
                }});
    trigger_->StartAt(cardBlocks_);
  }
  ShowNote();
  Redraw();
}

void WaveformWindow::TriggerFired(const acquisition::FiredTrigger&) {
  scope_.Fired();
  ShowNote();
}

void WaveformWindow::TriggerCaptured(acquisition::TriggerCapture&& capture) {
  scope_.Captured();
  // A new span: the worker may still read the last one, which it keeps.
  span_ = std::make_shared<const acquisition::CapturedSpan>(acquisition::JoinSpan(capture));
  spanView_ = span_->shape;
  spanView_.cells = span_->cells.data();
  spanFigures_->setEnabled(true);
  ShowNote();
  if (frozen()) return;
  Redraw();
  if (spectrumShown()) MeasureSpan();  // the spectrum on view follows the span
}

// The level follows the mouse; a window's ends keep their order.
void WaveformWindow::LevelDragged(int index, double volts) {
  QDoubleSpinBox* box = index == 0 ? trigLevel_ : trigHigh_;
  if (trigHigh_->isEnabled()) {
    volts = index == 0 ? std::min(volts, trigHigh_->value() - 0.001)
                       : std::max(volts, trigLevel_->value() + 0.001);
  }
  box->setValue(volts);
}

// A refused trigger holds nothing: the live blocks show, under the reason.
bool WaveformWindow::TriggerHolds() const {
  return trigMode_->currentIndex() != static_cast<int>(TriggerMode::Off) && feed_ &&
         triggerProblem_.isEmpty() && !scope_.live();
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
  const bool again = blockNumber == blockNumber_ && historyBlocks_ > 0;
  if (!again && blockNumber != blockNumber_ + 1) historyBlocks_ = historyNext_ = 0;
  blockNumber_ = blockNumber;
  blockTime_ = QDateTime::currentDateTime();
  if (!again) Remember(block);
  cells_.assign(block.cells, block.cells + block.cellCount());
  block_ = block;
  block_.cells = cells_.data();
  scale_ = scale;
  lastBlock_.start();
  ageNote_.clear();
  ShowNote();
  if (!TriggerHolds()) Redraw();
}

// The live block, or the trigger's span while it holds one (nothing while it waits for the
// first).
void WaveformWindow::Redraw() {
  const std::vector<int> channels = Channels();
  const bool holds = TriggerHolds();
  const acquisition::BlockView shown =
      holds ? (scope_.holdsSpan() && span_ ? spanView_ : acquisition::BlockView{}) : block_;
  if (holds && scope_.holdsSpan() && span_) {
    const acquisition::FiredTrigger& fired = span_->trigger;
    plot_->SetTriggerMark((fired.seconds - span_->firstSeconds) * 1000,
                          fired.gap ? QString("触发 %1–%2 s (数据丢失)")
                                          .arg(fired.earliestSeconds, 0, 'f', 6)
                                          .arg(fired.seconds, 0, 'f', 6)
                                    : QString("触发 %1 s").arg(fired.seconds, 0, 'f', 6));
  } else {
    plot_->SetTriggerMark(std::nullopt, QString());
  }
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

void WaveformWindow::Remember(const acquisition::BlockView& block) {
  if (block.channels != historyShape_.channels || block.points != historyShape_.points) {
    historyBlocks_ = historyNext_ = 0;  // a new shape starts a new history
  }
  historyShape_ = block;
  historyShape_.cells = nullptr;
  std::shared_ptr<std::vector<int16_t>>& slot = history_[historyNext_];
  // A block the worker still reads keeps its storage; the slot gets another.
  if (!slot || slot.use_count() > 1) slot = std::make_shared<std::vector<int16_t>>();
  slot->assign(block.cells, block.cells + block.cellCount());
  historyNext_ = (historyNext_ + 1) % kHistoryBlocks;
  historyBlocks_ = std::min(historyBlocks_ + 1, kHistoryBlocks);
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
  if (TriggerHolds()) {
    if (force) MeasureSpan();
    return;
  }
  if (historyBlocks_ == 0) return;
  const int blocks = std::min(recordLength_->currentData().toInt(), historyBlocks_);
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
  job.shape = historyShape_;
  job.sampleRateHz = block_.channelRateHz();
  for (int b = blocks; b > 0; --b) {  // oldest first
    job.blocks.push_back(history_[(historyNext_ - b + kHistoryBlocks) % kHistoryBlocks]);
  }
  worker_->Submit(std::move(job));
}

// The held span's figures, measured only when asked: it is one record of its own.
void WaveformWindow::MeasureSpan() {
  if (!span_ || spanView_.points <= 0) return;
  measuredBlocks_ = 0;  // the next live record is measured afresh
  FiguresWorker::Job job;
  job.channels = Channels();
  job.shape = spanView_;
  job.shape.cells = nullptr;
  job.sampleRateHz = spanView_.channelRateHz();
  job.blocks.push_back(FiguresWorker::SharedBlock(span_, &span_->cells));
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
  if (!note.isEmpty() && note != lossNote_) historyBlocks_ = historyNext_ = 0;
  lossNote_ = note;
  ShowNote();
}

void WaveformWindow::ShowNote() {
  QStringList notes;
  const bool on = feed_ && trigMode_->currentIndex() != static_cast<int>(TriggerMode::Off);
  const QString waiting = on && scope_.waiting() ? QString("等待触发…") : QString();
  const QString spent =
      on && !scope_.armed() && !scope_.capturing() ? QString("单次触发已完成") : QString();
  for (const QString& note : {frozen() ? QString("已冻结") : QString(), triggerProblem_, waiting,
                              spent, ageNote_, lossNote_}) {
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
  if (!frozen && TriggerHolds()) Redraw();  // a span captured while frozen
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
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QPixmap picture = (spectrumShown() ? static_cast<QWidget*>(spectrum_) : plot_)->grab();
  {
    // The picture says which block it shows, as the CSV does.
    QPainter p(&picture);
    p.setPen(Qt::darkGray);
    p.drawText(QRect(8, 2, picture.width() - 16, 20), Qt::AlignRight | Qt::AlignVCenter,
               BlockCaption());
  }
  picture.save(&buffer, "PNG");
  const auto written = base::WriteWholeFile(FromQt(path), png.toStdString());
  return written ? QString() : ToQt(written.failure().reason);
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

void WaveformWindow::ChooseAndSave(const QString& title, const QString& name, const QString& filter,
                                   QString (WaveformWindow::*save)(const QString&)) {
  const QString path =
      QFileDialog::getSaveFileName(this, title, QDir(saveFolder_).filePath(name), filter);
  if (path.isEmpty()) return;
  saveFolder_ = QFileInfo(path).absolutePath();
  if (const QString error = (this->*save)(path); !error.isEmpty()) {
    QMessageBox::warning(this, title, "写入失败: " + path + "\n" + error);
  }
}
