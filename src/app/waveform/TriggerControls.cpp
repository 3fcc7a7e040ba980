#include "TriggerControls.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "TriggerSetup.h"
#include "WaveformPlot.h"
#include "WidgetText.h"

TriggerControls::TriggerControls(WaveformPlot* plot, bool hasFeed, QWidget* parent)
    : QWidget(parent),
      plot_(plot),
      hasFeed_(hasFeed),
      mode_(new QComboBox(this)),
      channel_(new QComboBox(this)),
      kind_(new QComboBox(this)),
      level_(new QDoubleSpinBox(this)),
      high_(new QDoubleSpinBox(this)),
      hyst_(new QDoubleSpinBox(this)),
      pre_(new QDoubleSpinBox(this)),
      post_(new QDoubleSpinBox(this)),
      single_(new QPushButton("单次触发", this)),
      spanFigures_(new QPushButton("触发段频谱", this)) {
  SetUpLists();
  SetUpBoxes();
  LayOut();
  for (QComboBox* list : {mode_, channel_, kind_}) {
    connect(list, &QComboBox::currentIndexChanged, this, &TriggerControls::SetUp);
  }
  for (QDoubleSpinBox* box : {level_, high_, hyst_, pre_, post_}) {
    connect(box, &QDoubleSpinBox::valueChanged, this, &TriggerControls::SetUp);
  }
  connect(single_, &QPushButton::clicked, this, &TriggerControls::ArmSingle);
  connect(spanFigures_, &QPushButton::clicked, this, &TriggerControls::spanFiguresAsked);
}

TriggerControls::~TriggerControls() = default;

// The mode, the channel and the kind (edges, or a window entered or left).
void TriggerControls::SetUpLists() {
  mode_->setObjectName("cboTrigMode");
  for (const char* mode : {"关闭", "自动", "常规", "单次"}) mode_->addItem(mode);
  mode_->setToolTip("自动: 无触发时显示实时数据; 常规: 只显示触发段; 单次: 触发一次后停止");
  channel_->setObjectName("cboTrigChannel");
  for (int ch = 0; ch < acquisition::kTriggerChannels; ++ch) {
    channel_->addItem(ToQt(acquisition::TraceName(ch)), ch);
  }
  kind_->setObjectName("cboTrigKind");
  const std::pair<const char*, acquisition::TriggerKind> kinds[] = {
      {"上升沿", acquisition::TriggerKind::Rising},
      {"下降沿", acquisition::TriggerKind::Falling},
      {"双沿", acquisition::TriggerKind::Either},
      {"进入窗口", acquisition::TriggerKind::Enter},
      {"离开窗口", acquisition::TriggerKind::Leave}};
  for (const auto& [caption, kind] : kinds) kind_->addItem(caption, static_cast<int>(kind));
}

// The level (a window's two ends), the hysteresis, the span kept before and after the
// trigger, and the two buttons.
void TriggerControls::SetUpBoxes() {
  const auto volts = [](QDoubleSpinBox* box, const char* name, double low, double value) {
    box->setObjectName(name);
    box->setRange(low, acquisition::kTriggerMostVolts);
    box->setDecimals(3);
    box->setSingleStep(0.1);
    box->setSuffix(" V");
    box->setValue(value);
  };
  volts(level_, "spnTrigLevel", -acquisition::kTriggerMostVolts, 1.0);
  volts(high_, "spnTrigHigh", -acquisition::kTriggerMostVolts, 2.0);
  volts(hyst_, "spnTrigHyst", 0, acquisition::kTriggerDefaultHysteresisVolts);
  level_->setToolTip("触发电平 (窗口的下限)，也可在波形上拖动");
  high_->setToolTip("窗口的上限");
  hyst_->setToolTip("回差: 越过电平前须先离开它这么远");
  const auto ms = [](QDoubleSpinBox* box, const char* name, double value, const char* tip) {
    box->setObjectName(name);
    box->setRange(0, acquisition::kTriggerMostPreSeconds * 1000);
    box->setDecimals(0);
    box->setSingleStep(50);
    box->setSuffix(" ms");
    box->setValue(value);
    box->setToolTip(tip);
  };
  ms(pre_, "spnTrigPre", 100, "触发前显示的时长");
  ms(post_, "spnTrigPost", 300, "触发后显示的时长");
  post_->setMinimum(1);  // the span ends after the trigger
  single_->setObjectName("cmdSingle");
  single_->setToolTip("单次触发: 等待下一次触发，捕获一段后停止");
  spanFigures_->setObjectName("cmdSpanFigures");
  spanFigures_->setToolTip("所捕获触发段的频谱与模数转换指标");
  spanFigures_->setEnabled(false);
  high_->setEnabled(false);
  for (QWidget* control : std::initializer_list<QWidget*>{mode_, single_}) {
    control->setEnabled(hasFeed_);
  }
}

// Two rows, so that the window keeps its width: what fires it, then the span and the buttons.
void TriggerControls::LayOut() {
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(0, 0, 0, 0);
  QHBoxLayout* row = nullptr;
  const auto add = [&](const char* caption, QWidget* control) {
    if (caption) row->addWidget(new QLabel(caption, this));
    row->addWidget(control);
  };
  rows->addLayout(row = new QHBoxLayout);
  add("触发:", mode_);
  add(nullptr, channel_);
  add(nullptr, kind_);
  add("电平", level_);
  add("上限", high_);
  row->addStretch();
  rows->addLayout(row = new QHBoxLayout);
  add("回差", hyst_);
  add("触发前", pre_);
  add("触发后", post_);
  row->addStretch();
  add(nullptr, single_);
  add(nullptr, spanFigures_);
}

void TriggerControls::SetMode(Mode mode) {
  mode_->setCurrentIndex(static_cast<int>(mode));
}

void TriggerControls::ArmSingle() {
  const QSignalBlocker quiet(mode_);
  mode_->setCurrentIndex(static_cast<int>(Mode::Single));
  scope_.SetMode(acquisition::ScopeMode::Single);
  SetUp();
}

void TriggerControls::Feed(const acquisition::BlockView& block, int lostBefore) {
  const int blocks = 1 + std::max(lostBefore, 0);
  cardBlocks_ += blocks;
  if (!trigger_ || block.aggregateRate <= 0) return;
  scope_.Pass(static_cast<double>(blocks) * block.cellCount() / block.aggregateRate);
  trigger_->Feed(block, lostBefore);
}

void TriggerControls::Stopped() {
  cardBlocks_ = 0;
  if (trigger_) trigger_->Stopped();
  scope_.Stopped();
}

bool TriggerControls::on() const {
  return hasFeed_ && mode_->currentIndex() != static_cast<int>(Mode::Off);
}

bool TriggerControls::Holds() const {
  return on() && problem_.isEmpty() && !scope_.live();
}

acquisition::BlockView TriggerControls::Shown(const acquisition::BlockView& live) {
  const bool holds = Holds();
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
  return holds ? (scope_.holdsSpan() && span_ ? spanView_ : acquisition::BlockView{}) : live;
}

QStringList TriggerControls::Notes() const {
  const bool on = this->on();
  const QString waiting = on && scope_.waiting() ? QString("等待触发…") : QString();
  const QString spent =
      on && !scope_.armed() && !scope_.capturing() ? QString("单次触发已完成") : QString();
  return {problem_, waiting, spent};
}

void TriggerControls::LevelDragged(int index, double volts) {
  QDoubleSpinBox* box = index == 0 ? level_ : high_;
  if (high_->isEnabled()) {
    volts = index == 0 ? std::min(volts, high_->value() - 0.001)
                       : std::max(volts, level_->value() + 0.001);
  }
  box->setValue(volts);
}

acquisition::ScopeMode TriggerControls::ScopeModeOf(Mode mode) const {
  return mode == Mode::Auto ? acquisition::ScopeMode::Auto
                            : (mode == Mode::Normal ? acquisition::ScopeMode::Normal
                                                    : acquisition::ScopeMode::Single);
}

// "ch10,rising,3.0000V,hyst=0.0500V": the controls as the trigger's own text.
QString TriggerControls::SetupText(acquisition::TriggerKind kind, bool window) const {
  const auto volts = [](double v) { return QString::number(v, 'f', 4) + "V"; };
  QString text =
      QString("ch%1,%2,").arg(channel_->currentIndex() + 1).arg(acquisition::TriggerKindWord(kind));
  text += window ? volts(level_->value()) + ".." + volts(high_->value()) : volts(level_->value());
  return text + ",hyst=" + volts(hyst_->value());
}

// The controls' trigger, read by the trigger's own text so that it is refused for the same
// reasons as on the command line. Any change arms it anew, except a spent single shot, which
// waits for "单次触发".
// The controls' trigger as its text, read as the command line reads it (the recording row
// records with it too).
base::Result<acquisition::TriggerSetup> TriggerControls::ControlsTrigger() const {
  const auto kind = static_cast<acquisition::TriggerKind>(kind_->currentData().toInt());
  const bool window =
      kind == acquisition::TriggerKind::Enter || kind == acquisition::TriggerKind::Leave;
  const auto ms = [](QDoubleSpinBox* box) {
    return FromQt(QString::number(box->value(), 'f', 0) + "ms");
  };
  return acquisition::ParseTriggerSetup(FromQt(SetupText(kind, window)), ms(pre_), ms(post_));
}

void TriggerControls::SetUp() {
  const auto mode = static_cast<Mode>(mode_->currentIndex());
  const auto kind = static_cast<acquisition::TriggerKind>(kind_->currentData().toInt());
  const bool window =
      kind == acquisition::TriggerKind::Enter || kind == acquisition::TriggerKind::Leave;
  high_->setEnabled(window);
  trigger_.reset();
  problem_.clear();
  if (mode == Mode::Off || !hasFeed_) {
    scope_ = acquisition::TriggerView();
    span_.reset();
    plot_->SetTriggerLevels({});
    spanFigures_->setEnabled(false);
    emit changed();
    return;
  }
  const acquisition::ScopeMode scopeMode = ScopeModeOf(mode);
  if (scopeMode != scope_.mode()) scope_.SetMode(scopeMode);
  const auto setup = ControlsTrigger();
  plot_->SetTriggerLevels(window ? std::vector<double>{level_->value(), high_->value()}
                                 : std::vector<double>{level_->value()});
  if (!setup) {
    problem_ = "触发设置无效: " + ReasonText(setup.failure());
  } else if (scope_.armed()) {
    trigger_ = std::make_unique<acquisition::Trigger>(
        setup.value(), acquisition::TriggerModeOf(scopeMode),
        acquisition::TriggerHandlers{
            .fired =
                [this](const acquisition::FiredTrigger&) {
                  scope_.Fired();
                  emit fired();
                },
            .captured =
                [this](acquisition::TriggerCapture&& capture) { Captured(std::move(capture)); }});
    trigger_->StartAt(cardBlocks_);
  }
  emit changed();
}

void TriggerControls::Captured(acquisition::TriggerCapture&& capture) {
  scope_.Captured();
  // A new span: the worker may still read the last one, which it keeps.
  span_ = std::make_shared<const acquisition::CapturedSpan>(acquisition::JoinSpan(capture));
  spanView_ = span_->shape;
  spanView_.cells = span_->cells.data();
  spanFigures_->setEnabled(true);
  emit captured();
}
