#include "FrmMultiBuf.h"

#include <QCloseEvent>
#include <QRegularExpression>
#include <QTimer>

#include "BlockPolling.h"
#include "CardIdentity.h"
#include "ChannelSummary.h"
#include "CheckValue.h"
#include "DataFile.h"
#include "DigitalOutput.h"
#include "NumberForms.h"
#include "StartStop.h"
#include "WidgetText.h"
#include "ui_FrmMultiBuf.h"

namespace {

// Card calls outside the start handler have no error trap of their own: a missing library
// or entry point ends the handler quietly instead of the program.
template <typename Work>
void Quietly(Work work) {
  try {
    work();
  } catch (const card::CardUnavailable&) {
  }
}

QString CardUnavailableText(const card::CardUnavailable& e) {
  if (e.reason == card::CardUnavailable::Reason::LibraryMissing) {
    return "无法加载板卡库: " + Text(e.subject);
  }
  return "板卡库缺少入口点: " + Text(e.subject);
}

}  // namespace

FrmMultiBuf::FrmMultiBuf(std::string cardLibraryPath, std::string dataDirectory, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::FrmMultiBuf>()),
      TimerAD(new QTimer(this)),
      Timer_DI(new QTimer(this)),
      dll_(std::move(cardLibraryPath)),
      capture_(std::move(dataDirectory)) {
  // The font comes first, so that every control lays its text out once, in that font.
  ApplyUserInterfaceFont();
  ui->setupUi(this);
  NameControlArrays();
  ApplyDigitalInputFont();
  setFixedSize(size());
  ui->Label3_3_->setText(Text(acquisition::DirectoryCaption(capture_.directory())));
  for (QLabel* label : findChildren<QLabel*>()) FitAutoSizeLabel(label);
  summary_.reserve(4096);

  TimerAD->setObjectName("TimerAD");
  TimerAD->setInterval(200);
  Timer_DI->setObjectName("Timer_DI");
  Timer_DI->setInterval(1000);
  ConnectHandlers();
  TimerAD->start();
  Timer_DI->start();

  ui->cmdExit->setFocus();
  Form_Load();
}

FrmMultiBuf::~FrmMultiBuf() = default;

void FrmMultiBuf::NameControlArrays() {
  // The form compiler cannot keep "Label1(0)" as a name; it arrives as "Label1_0_".
  static const QRegularExpression element("^(\\w+)_(\\d+)_$");
  for (QWidget* w : findChildren<QWidget*>()) {
    auto match = element.match(w->objectName());
    if (match.hasMatch()) w->setObjectName(match.captured(1) + "(" + match.captured(2) + ")");
  }
  lblAD = {ui->lblAD_0_, ui->lblAD_1_, ui->lblAD_2_, ui->lblAD_3_};
}

// The user-interface font must show the Chinese captions. Like the card's home system's
// default face, it gives every ASCII character the same half width, so the input bits
// stand in columns under their bit numbers and the summary lines up.
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
  ui->lblDI->setFont(song);
}

void FrmMultiBuf::ConnectHandlers() {
  connect(TimerAD, &QTimer::timeout, this, &FrmMultiBuf::TimerAD_Timer);
  connect(Timer_DI, &QTimer::timeout, this, &FrmMultiBuf::Timer_DI_Timer);
  connect(ui->cmdExit, &QPushButton::clicked, this, &FrmMultiBuf::cmdExit_Click);
  connect(ui->cmdStart, &QPushButton::clicked, this, &FrmMultiBuf::cmdStart_Click);
  connect(ui->cmdStop, &QPushButton::clicked, this, &FrmMultiBuf::cmdStop_Click);
  connect(ui->cmdDOOutput, &QPushButton::clicked, this, &FrmMultiBuf::cmdDOOutput_Click);
  connect(ui->cmdSWO, &QPushButton::clicked, this, &FrmMultiBuf::cmdSWO_Click);
  connect(ui->txtDOChn, &QLineEdit::textChanged, this, &FrmMultiBuf::txtDOChn_Change);
  connect(ui->UpDownBitNum, &UpDownSpinner::valueChanged, this, &FrmMultiBuf::UpDownBitNum_Change);
  ui->txtDOValue->installEventFilter(this);
}

bool FrmMultiBuf::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->txtDOValue && event->type() == QEvent::MouseButtonDblClick) {
    txtDOValue_DblClick();
  }
  return QWidget::eventFilter(watched, event);
}

// Program lifetime

void FrmMultiBuf::Form_Load() {
  ui->cmdStop->setEnabled(false);
  ui->cmdStart->setEnabled(true);
  dll_.RingBlockCount = 20;
  dll_.RingWritePos = 0;
  values_.BlocksReceived = 0;
  values_.scale = {.FullScaleCount = 65535, .ZeroCode = 32768, .SpanVolts = 10.0f};
  try {
    SetCaption(ui->lblCardInfo, Text(card::RequestIdentity(dll_)));
  } catch (const card::CardUnavailable& e) {
    SetCaption(ui->lblCardInfo, CardUnavailableText(e));
  }
}

void FrmMultiBuf::Form_Unload() {
  Quietly([&] { acquisition::StopAcquisition(dll_); });
}

void FrmMultiBuf::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void FrmMultiBuf::cmdExit_Click() {
  Quietly([&] { acquisition::StopAcquisition(dll_); });
  close();
}

// Analog acquisition

void FrmMultiBuf::cmdStart_Click() {
  // Any failure on the way abandons the start silently, keeping the steps already done.
  try {
    auto files = acquisition::ReadSaveSetting(Text(ui->txtSaveFileNum->text()), 1, 20);
    if (!files) return;
    capture_.SaveFileCount = *files;
    capture_.SaveFileIndex = 0;
    auto blocks = acquisition::ReadSaveSetting(Text(ui->txtBlockNumMax->text()), 1, 10);
    if (!blocks) return;
    capture_.BlocksPerFile = *blocks;
    capture_.SaveBlockIndex = 0;

    const acquisition::StartOutcome outcome = acquisition::StartAcquisition(dll_);
    if (!outcome.started) {
      SetCaption(ui->lblBlock, Text(acquisition::RefusalText(outcome.errorNumber)));
      return;
    }
    if (!TimerAD->isActive()) TimerAD->start();
    ui->cmdStop->setEnabled(true);
    ui->cmdStart->setEnabled(false);
  } catch (const std::exception&) {
  }
}

void FrmMultiBuf::cmdStop_Click() {
  Quietly([&] { acquisition::StopAcquisition(dll_); });
  TimerAD->stop();
  ui->cmdStart->setEnabled(true);
  ui->cmdStop->setEnabled(false);
}

void FrmMultiBuf::TimerAD_Timer() {
  acquisition::TickOutcome tick;
  try {
    tick = acquisition::PollBlocks(dll_, values_, capture_, CheckValue(ui->chkSaveData));
  } catch (const card::CardUnavailable&) {
  }
  if (capture_.TakeInfoChange()) {
    SetCaption(ui->lblInfo, Text(capture_.Info()));
    ui->lblInfo->setToolTip(Text(capture_.InfoDetail()));
  }
  if (!tick.foundBlocks) return;

  SetCaption(ui->lblBlock, Text(numtext::SignedColumn(values_.BlocksReceived)));
  SetCaption(ui->lblptr, Text(numtext::SignedColumn(dll_.RingWritePos)));
  for (size_t i = 0; i < lblAD.size(); ++i) {
    lblAD[i]->setText(
        Text(numtext::Volts(tick.latestVolts[i], numtext::VoltPattern::NoIntegerZero)));
  }
  ShowChannelInfo();
}

void FrmMultiBuf::ShowChannelInfo() {
  if (CheckValue(ui->chkDisp) == 0) return;
  acquisition::BuildChannelSummary(summary_, values_, dll_.ChannelCount);
  ui->txtInfo->setPlainText(Text(summary_));
}

// Digital input and output

void FrmMultiBuf::Timer_DI_Timer() {
  Quietly([&] {
    const dio::DiCaptions captions = dio::ReadDigitalInputs(dll_, DiWords_);
    SetCaption(ui->lblDI, Text(captions.lblDI));
    SetCaption(ui->lblDI_0, Text(captions.lblDI_0));
    SetCaption(ui->lblBit, Text(captions.lblBit));
    SetCaption(ui->lblDI_1, Text(captions.lblDI_1));
  });
}

void FrmMultiBuf::txtDOChn_Change() {
  const int16_t channel = dio::ChannelOfText(Text(ui->txtDOChn->text()));
  ui->UpDownBitNum->setValue(channel);
  SetFieldText(ui->txtDOChn, Text(numtext::SignedColumn(channel)));
}

void FrmMultiBuf::UpDownBitNum_Change() {
  SetFieldText(ui->txtDOChn, Text(numtext::SignedColumn(ui->UpDownBitNum->value())));
}

void FrmMultiBuf::txtDOValue_DblClick() {
  SetFieldText(ui->txtDOValue, Text(dio::ToggledValueText(Text(ui->txtDOValue->text()))));
}

void FrmMultiBuf::cmdDOOutput_Click() {
  const int16_t value = dio::OutputValueOfText(Text(ui->txtDOValue->text()));
  SetFieldText(ui->txtDOValue, Text(numtext::SignedColumn(value)));
  const int16_t channel = dio::OutputChannelOfText(Text(ui->txtDOChn->text()));
  Quietly([&] { dio::OutputBit(dll_, channel, value); });
}

void FrmMultiBuf::cmdSWO_Click() {
  const int16_t group = dio::GroupOfText(Text(ui->txtswChn->text()));
  SwoValue_[0] = dio::ByteOfHexText(Text(ui->txtSWO_0->text()));
  Quietly([&] { dio::OutputByte(dll_, group, SwoValue_[0]); });
}
