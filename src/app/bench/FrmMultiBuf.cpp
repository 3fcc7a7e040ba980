#include "FrmMultiBuf.h"

#include <QCloseEvent>
#include <QColor>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>
#include <climits>
#include <cstdio>

#include "CardIdentity.h"
#include "CardRecording.h"
#include "ChannelSummary.h"
#include "CheckValue.h"
#include "DataDirectory.h"
#include "DigitalOutput.h"
#include "NumberForms.h"
#include "PathCaption.h"
#include "RecordPanel.h"
#include "StartStop.h"
#include "SummaryView.h"
#include "WaveformWindow.h"
#include "WidgetText.h"
#include "ui_FrmMultiBuf.h"

namespace {

using base::Failure;

// What the card information line says before the failure's subject.
QString CardFailureCaptionStart(const Failure& failure) {
  switch (failure.kind) {
    case Failure::Kind::CardLibraryMissing:
      return "无法加载板卡库: ";
    case Failure::Kind::EntryPointMissing:
      return "板卡库缺少入口点: ";
    default:
      return {};
  }
}

// Nothing the card or the system says is lost: what the window does not show goes to
// standard error with its reason.
void Report(const Failure& failure) {
  std::fprintf(stderr, "kzb7310: %s: %s\n", failure.subject.c_str(), failure.reason.c_str());
}

}  // namespace

FrmMultiBuf::FrmMultiBuf(std::string cardLibraryPath, std::string dataDirectory, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::FrmMultiBuf>()),
      TimerAD_(new QTimer(this)),
      Timer_DI_(new QTimer(this)),
      dll_(std::move(cardLibraryPath)),
      feed_(dll_, std::move(dataDirectory)) {
  // The font comes first, so that every control lays its text out once, in that font.
  ApplyUserInterfaceFont();
  ui_->setupUi(this);
  NameControlArrays();
  ApplyDigitalInputFont();
  setFixedSize(size());
  for (QLabel* label : findChildren<QLabel*>()) FitAutoSizeLabel(label);
  SetPathCaption(ui_->Label3_3_, ToQt(acquisition::DirectoryCaption(feed_.capture().directory())),
                 ToQt(acquisition::kDirectoryCaptionStart).size());
  // A text field holds whatever the operator types, however long.
  for (QLineEdit* field : findChildren<QLineEdit*>()) field->setMaxLength(INT_MAX);
  summary_.reserve(4096);
  summaryView_ = std::make_unique<SummaryView>(ui_->txtInfo);

  TimerAD_->setObjectName("TimerAD");
  TimerAD_->setInterval(200);
  Timer_DI_->setObjectName("Timer_DI");
  Timer_DI_->setInterval(1000);
  ConnectHandlers();
  TimerAD_->start();
  Timer_DI_->start();

  ui_->cmdExit->setFocus();
  Form_Load();
}

// The waveform window subscribes to the feed: it goes before the feed does.
FrmMultiBuf::~FrmMultiBuf() {
  delete waveform_.data();
}

void FrmMultiBuf::NameControlArrays() {
  // The form compiler cannot keep "Label1(0)" as a name; it arrives as "Label1_0_".
  static const QRegularExpression element("^(\\w+)_(\\d+)_$");
  for (QWidget* w : findChildren<QWidget*>()) {
    auto match = element.match(w->objectName());
    if (match.hasMatch()) w->setObjectName(match.captured(1) + "(" + match.captured(2) + ")");
  }
  lblAD_ = {ui_->lblAD_0_, ui_->lblAD_1_, ui_->lblAD_2_, ui_->lblAD_3_};
}

// The user-interface font must show the Chinese captions. It gives every ASCII character
// the same half width, so the input bits stand in columns under their bit numbers and the
// summary lines up.
void FrmMultiBuf::ApplyUserInterfaceFont() {
  QFont uiFont = font();
  uiFont.setFamilies({"Noto Sans Mono CJK SC", "Noto Sans CJK SC", "SimSun"});
  uiFont.setPointSize(9);
  setFont(uiFont);
}

// Song style first, then an installed CJK serif face of the same style.
void FrmMultiBuf::ApplyDigitalInputFont() {
  QFont song;
  song.setFamilies({"宋体", "SimSun", "Noto Serif CJK SC", "AR PL UMing CN"});
  song.setPointSizeF(21.75);
  song.setWeight(QFont::Normal);
  ui_->lblDI->setFont(song);
}

void FrmMultiBuf::ConnectHandlers() {
  connect(TimerAD_, &QTimer::timeout, this, &FrmMultiBuf::TimerAD_Timer);
  connect(Timer_DI_, &QTimer::timeout, this, &FrmMultiBuf::Timer_DI_Timer);
  connect(ui_->cmdExit, &QPushButton::clicked, this, &FrmMultiBuf::cmdExit_Click);
  connect(ui_->cmdStart, &QPushButton::clicked, this, &FrmMultiBuf::cmdStart_Click);
  connect(ui_->cmdStop, &QPushButton::clicked, this, &FrmMultiBuf::cmdStop_Click);
  connect(ui_->cmdDOOutput, &QPushButton::clicked, this, &FrmMultiBuf::cmdDOOutput_Click);
  connect(ui_->cmdSWO, &QPushButton::clicked, this, &FrmMultiBuf::cmdSWO_Click);
  connect(ui_->txtDOChn, &QLineEdit::textChanged, this, &FrmMultiBuf::txtDOChn_Change);
  connect(ui_->UpDownBitNum, &UpDownSpinner::valueChanged, this, &FrmMultiBuf::UpDownBitNum_Change);
  ui_->txtDOValue->installEventFilter(this);
  ConnectWaveformOpeners();
}

// The waveform window opens from the live values (a double-click, or their context menu)
// and from the summary's context menu on a channel's line. Nothing is added to the window.
void FrmMultiBuf::ConnectWaveformOpeners() {
  for (size_t i = 0; i < lblAD_.size(); ++i) {
    QLabel* label = lblAD_[i];
    label->installEventFilter(this);
    label->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(label, &QWidget::customContextMenuRequested, this, [this, label, i](const QPoint& pos) {
      OfferWaveform(label, pos, static_cast<int>(i));
    });
  }
  ui_->txtInfo->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ui_->txtInfo, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    // Line 0 is the title; line n + 1 is channel n.
    const int line = ui_->txtInfo->cursorForPosition(pos).blockNumber();
    const bool isChannel = line >= 1 && line <= dll_.ChannelCount;
    OfferWaveform(ui_->txtInfo, pos, isChannel ? line - 1 : -1);
  });
}

void FrmMultiBuf::OfferWaveform(QWidget* source, const QPoint& pos, int channel) {
  QMenu* menu = source == ui_->txtInfo ? ui_->txtInfo->createStandardContextMenu() : new QMenu;
  menu->setParent(this, Qt::Popup);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  if (!menu->isEmpty()) menu->addSeparator();
  QAction* open = menu->addAction("波形显示…", this, [this, channel] { OpenWaveform(channel); });
  open->setEnabled(channel >= 0);
  // The summary reports the pointer in its viewport's coordinates.
  QWidget* area = source == ui_->txtInfo ? ui_->txtInfo->viewport() : source;
  menu->popup(area->mapToGlobal(pos));
}

void FrmMultiBuf::OpenWaveform(int channel) {
  if (!waveform_) {
    waveform_ = new WaveformWindow(ToQt(feed_.capture().directory()), this, &feed_);
    waveform_->recordPanel()->SetFacts(
        [this] { return recording::CardDescription(dll_, cardIdentity_, "kzb7310 " KZB_VERSION); });
  }
  waveform_->AddChannel(channel);
  waveform_->ShowLatest();
  waveform_->show();
  waveform_->raise();
  waveform_->activateWindow();
}

bool FrmMultiBuf::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == ui_->txtDOValue) txtDOValue_DblClick();
    for (size_t i = 0; i < lblAD_.size(); ++i) {
      if (watched == lblAD_[i]) OpenWaveform(static_cast<int>(i));
    }
  }
  return QWidget::eventFilter(watched, event);
}

// Program lifetime

void FrmMultiBuf::Form_Load() {
  ui_->cmdStop->setEnabled(false);
  ui_->cmdStart->setEnabled(true);
  dll_.RingBlockCount = 20;
  dll_.RingWritePos = 0;
  feed_.values().BlocksReceived = 0;
  feed_.values().Scale = acquisition::kVoltageScale;  // FullScaleCount, ZeroCode, SpanVolts
  ShowCardInfo();
}

// The identity line, or why the card could not be asked; the tooltip names the library in
// use, so a simulated card is never taken for a real one.
void FrmMultiBuf::ShowCardInfo() {
  const base::Result<std::string> identity = card::RequestIdentity(dll_);
  const QString path = ToQt(dll_.library().path());
  if (!identity) {
    const QString start = CardFailureCaptionStart(identity.failure());
    SetPathCaption(ui_->lblCardInfo, start + ToQt(identity.failure().subject), start.size(),
                   ReasonText(identity.failure()));
    Report(identity.failure());
    return;
  }
  cardInfoShown_ = true;
  cardIdentity_ = identity.value();
  SetCaption(ui_->lblCardInfo, ToQt(identity.value()));
  // The library is loaded from a snapshot: one put in its place now is used after a restart.
  ui_->lblCardInfo->setToolTip(
      (dll_.library().IsSimulated()
           ? "模拟板卡（不是真实板卡；运行时替换的板卡库在程序重新启动后才使用）: "
           : "板卡库（运行时替换的板卡库在程序重新启动后才使用）: ") +
      path);
}

void FrmMultiBuf::Form_Unload() {
  if (auto stopped = acquisition::StopAcquisition(dll_); !stopped) Report(stopped.failure());
}

void FrmMultiBuf::closeEvent(QCloseEvent* event) {
  if (waveform_) waveform_->close();
  Form_Unload();
  event->accept();
}

void FrmMultiBuf::cmdExit_Click() {
  (void)acquisition::StopAcquisition(dll_);  // a missing card is reported by Form_Unload
  close();
}

void FrmMultiBuf::WaitForDataFiles() {
  feed_.capture().WaitForFiles();
  ShowFileStatus();
}

std::vector<std::string> FrmMultiBuf::FinishDataFiles(std::chrono::milliseconds bound) {
  std::vector<std::string> unfinished = feed_.capture().FinishFiles(bound);
  ShowFileStatus();
  return unfinished;
}

// The file status line, and on standard error every file failure behind it.
void FrmMultiBuf::ShowFileStatus() {
  const bool changed = feed_.capture().TakeInfoChange();
  for (const std::string& line : feed_.capture().TakeLog()) {
    std::fprintf(stderr, "kzb7310: 数据文件 data file: %s\n", line.c_str());
  }
  if (!changed) return;
  SetCaption(ui_->lblInfo, ToQt(feed_.capture().Info()));
  ui_->lblInfo->setToolTip(ToQt(feed_.capture().InfoDetail()));
}

// Blocks the card finished that the program never fetched: the counter turns to a warning
// colour and says in its tooltip how many were lost and when; so do standard error and the
// waveform window. Its caption stays the count the card reported.
void FrmMultiBuf::ShowLoss(int lostBlocks) {
  const QString now = QTime::currentTime().toString("HH:mm:ss");
  lossTimes_.append(QString("%1 丢失 %2 块").arg(now).arg(lostBlocks));
  while (lossTimes_.size() > kLossTimesShown) lossTimes_.removeFirst();
  const QString total = QString::number(feed_.losses().lost());
  QPalette warning = ui_->lblBlock->palette();
  warning.setColor(QPalette::WindowText, QColor(200, 0, 0));
  ui_->lblBlock->setPalette(warning);
  ui_->lblBlock->setToolTip(
      QString("程序跟不上板卡，本次采集已丢失 %1 块数据 (%1 blocks lost)\n").arg(total) +
      lossTimes_.join('\n'));
  std::fprintf(stderr,
               "kzb7310: 丢失 %d 块数据 lost %d blocks at %s (the program fell behind the card; "
               "%s in this run)\n",
               lostBlocks, lostBlocks, qPrintable(now), qPrintable(total));
  if (waveform_) waveform_->SetLossNote(QString("丢失 %1 块 (最近 %2)").arg(total, now));
}

// Analog acquisition

void FrmMultiBuf::cmdStart_Click() {
  // A setting out of range, a missing card or too little memory abandons the start,
  // keeping the steps already done; no message box, but the button's tooltip and standard
  // error say why.
  ui_->cmdStart->setToolTip({});
  const auto files = acquisition::ReadSaveSetting(FromQt(ui_->txtSaveFileNum->text()), 1, 20);
  if (!files) return RefuseStart("文件个数", ui_->txtSaveFileNum->text());
  const auto blocks = acquisition::ReadSaveSetting(FromQt(ui_->txtBlockNumMax->text()), 1, 10);
  feed_.capture().BeginRun(*files, blocks);
  if (!blocks) return RefuseStart("保存数据的块数", ui_->txtBlockNumMax->text());

  const auto outcome = acquisition::StartAcquisition(dll_);
  if (!cardInfoShown_ && dll_.library().loaded()) ShowCardInfo();
  if (!outcome) {
    Report(outcome.failure());
    return;
  }
  if (!outcome.value().started) {
    SetCaption(ui_->lblBlock, ToQt(acquisition::RefusalText(outcome.value().errorNumber)));
    return;
  }
  feed_.Begin();
  if (!lossTimes_.isEmpty()) {  // a new run counts its own losses
    lossTimes_.clear();
    ui_->lblBlock->setPalette(QPalette());
    ui_->lblBlock->setToolTip({});
    if (waveform_) waveform_->SetLossNote({});
  }
  if (!TimerAD_->isActive()) TimerAD_->start();
  ui_->cmdStop->setEnabled(true);
  ui_->cmdStart->setEnabled(false);
}

// A save setting whose number lies outside the 16-bit range stops the start.
void FrmMultiBuf::RefuseStart(const QString& setting, const QString& text) {
  const QString reason =
      QString("未开始采集: %1 \"%2\" 超出 -32768 到 32767 的范围").arg(setting, text);
  ui_->cmdStart->setToolTip(reason);
  std::fprintf(stderr, "kzb7310: %s (not started: the setting is outside -32768..32767)\n",
               qPrintable(reason));
}

void FrmMultiBuf::cmdStop_Click() {
  (void)feed_.Stop();  // nothing runs on a card that is not there
  TimerAD_->stop();
  ui_->cmdStart->setEnabled(true);
  ui_->cmdStop->setEnabled(false);
}

void FrmMultiBuf::TimerAD_Timer() {
  const std::function<double()> now = [this] {
    return clock_
               ? clock_()
               : std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                     .count();
  };
  const bool saving = CheckValue(ui_->chkSaveData) == 1;  // a greyed box (2) does not save
  // The feed hands every block to its subscribers (a recording, the waveform window).
  const auto tick = feed_.Tick(saving, now);
  ShowFileStatus();
  if (tick && tick.value().lostBlocks > 0) ShowLoss(tick.value().lostBlocks);
  if (!tick || !tick.value().foundBlocks) return;  // a missing card shows on lblCardInfo

  SetCaption(ui_->lblBlock, ToQt(numtext::SignedColumn(feed_.values().BlocksReceived)));
  SetCaption(ui_->lblptr, ToQt(numtext::SignedColumn(dll_.RingWritePos)));
  for (size_t i = 0; i < lblAD_.size(); ++i) {
    lblAD_[i]->setText(
        ToQt(numtext::Volts(tick.value().latestVolts[i], numtext::VoltPattern::NoIntegerZero)));
  }
  ShowChannelInfo();
}

void FrmMultiBuf::ShowChannelInfo() {
  if (CheckValue(ui_->chkDisp) == 0) return;
  acquisition::BuildChannelSummary(summary_, feed_.values(), dll_.ChannelCount);
  summaryView_->Show(summary_);
}

// Digital input and output. A card that is not there leaves the controls as they are.

void FrmMultiBuf::Timer_DI_Timer() {
  const auto captions = dio::ReadDigitalInputs(dll_, DiWords_);
  if (!captions) return;
  SetCaption(ui_->lblDI, ToQt(captions.value().lblDI));
  SetCaption(ui_->lblDI_0, ToQt(captions.value().lblDI_0));
  SetCaption(ui_->lblBit, ToQt(captions.value().lblBit));
  SetCaption(ui_->lblDI_1, ToQt(captions.value().lblDI_1));
}

void FrmMultiBuf::txtDOChn_Change() {
  const int16_t channel = dio::ChannelOfText(FromQt(ui_->txtDOChn->text()));
  ui_->UpDownBitNum->setValue(channel);
  SetFieldText(ui_->txtDOChn, ToQt(numtext::SignedColumn(channel)));
}

void FrmMultiBuf::UpDownBitNum_Change() {
  SetFieldText(ui_->txtDOChn, ToQt(numtext::SignedColumn(ui_->UpDownBitNum->value())));
}

void FrmMultiBuf::txtDOValue_DblClick() {
  SetFieldText(ui_->txtDOValue, ToQt(dio::ToggledValueText(FromQt(ui_->txtDOValue->text()))));
}

void FrmMultiBuf::cmdDOOutput_Click() {
  const int16_t value = dio::OutputValueOfText(FromQt(ui_->txtDOValue->text()));
  SetFieldText(ui_->txtDOValue, ToQt(numtext::SignedColumn(value)));
  const int16_t channel = dio::OutputChannelOfText(FromQt(ui_->txtDOChn->text()));
  (void)dio::OutputBit(dll_, channel, value);
}

void FrmMultiBuf::cmdSWO_Click() {
  const int16_t group = dio::GroupOfText(FromQt(ui_->txtswChn->text()));
  SwoValue_[0] = dio::ByteOfHexText(FromQt(ui_->txtSWO_0->text()));
  (void)dio::OutputByte(dll_, group, SwoValue_[0]);
}
