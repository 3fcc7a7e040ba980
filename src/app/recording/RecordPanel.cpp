#include "RecordPanel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "Description.h"
#include "FolderFiles.h"
#include "OpenRecordings.h"
#include "ProgramFolders.h"
#include "RecordingLimits.h"
#include "WidgetText.h"

namespace {

// The limits offered: a time ("t") or a size ("s") as the command line takes them.
constexpr std::pair<const char*, const char*> kLimits[] = {
    {"不限", ""},        {"30 分钟", "t30m"}, {"1 小时", "t1h"}, {"8 小时", "t8h"},
    {"24 小时", "t24h"}, {"1 GB", "s1G"},     {"10 GB", "s10G"}, {"100 GB", "s100G"},
};

QString Duration(double seconds) {
  const auto s = static_cast<qint64>(seconds);
  return s >= 3600 ? QString("%1小时%2分").arg(s / 3600).arg(s / 60 % 60)
                   : QString("%1分%2秒").arg(s / 60).arg(s % 60);
}

QString Counts(const recording::RecorderStatus& s) {
  return QString("%1 块, 丢失 %2 块, 间断 %3 处, %4 MB")
      .arg(s.blocksRecorded)
      .arg(s.blocksLost)
      .arg(s.gaps)
      .arg(static_cast<double>(s.bytes) / 1e6, 0, 'f', 1);
}

// The trigger as the command line would take it, for the recording's description.
QString TriggerText(const acquisition::TriggerSetup& t) {
  const auto volts = [](double v) { return QString::number(v, 'g', 6) + "V"; };
  const bool window =
      t.kind == acquisition::TriggerKind::Enter || t.kind == acquisition::TriggerKind::Leave;
  return QString("ch%1,%2,").arg(t.channel + 1).arg(acquisition::TriggerKindWord(t.kind)) +
         (window ? volts(t.lowVolts) + ".." + volts(t.highVolts) : volts(t.levelVolts)) +
         ",hyst=" + volts(t.hysteresisVolts);
}

}  // namespace

RecordPanel::RecordPanel(const QString& dataFolder, QWidget* parent)
    : QWidget(parent),
      record_(new QPushButton("记录", this)),
      note_(new QPushButton("备注…", this)),
      folder_(new QLineEdit(this)),
      browse_(new QToolButton(this)),
      limit_(new QComboBox(this)),
      triggered_(new QComboBox(this)),
      status_(new QLabel(this)),
      open_(new QPushButton("打开记录…", this)),
      timer_(new QTimer(this)),
      dataFolder_(dataFolder) {
  record_->setObjectName("cmdRecord");
  record_->setCheckable(true);
  record_->setToolTip("记录全部 64 个通道的每一个数据块");
  note_->setObjectName("cmdRecordNote");
  note_->setToolTip("给正在进行的记录加一条备注，带上当前时间");
  note_->setEnabled(false);
  folder_->setObjectName("txtRecordFolder");
  folder_->setText(NewFolderName());
  browse_->setObjectName("cmdRecordFolder");
  browse_->setText("…");
  limit_->setObjectName("cboRecordLimit");
  for (const auto& [caption, limit] : kLimits) limit_->addItem(caption, QString(limit));
  triggered_->setObjectName("cboRecordTrigger");
  triggered_->addItem("不用触发");
  triggered_->addItem("触发记录: 全部, 标出触发", static_cast<int>(recording::TriggeredKeep::All));
  triggered_->addItem("触发记录: 只记触发前后", static_cast<int>(recording::TriggeredKeep::Spans));
  triggered_->setToolTip("用波形窗口的触发设置: 每次触发记为事件; 或只记录触发前后的数据");
  status_->setObjectName("lblRecord");
  status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  open_->setObjectName("cmdOpenRecording");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(record_);
  row->addWidget(new QLabel("到:", this));
  row->addWidget(folder_, 2);
  row->addWidget(browse_);
  row->addWidget(limit_);
  row->addWidget(triggered_);
  row->addWidget(status_, 3);
  row->addWidget(note_);
  row->addWidget(open_);
  connect(record_, &QPushButton::clicked, this, [this](bool on) {
    if (on) {
      StartRecording();
    } else {
      EndRecording();
    }
  });
  connect(note_, &QPushButton::clicked, this, &RecordPanel::AskForNote);
  connect(browse_, &QToolButton::clicked, this, [this] {
    const QString chosen = QFileDialog::getExistingDirectory(this, "记录到", dataFolder_);
    if (!chosen.isEmpty()) folder_->setText(QDir(chosen).filePath(QFileInfo(folder()).fileName()));
  });
  connect(open_, &QPushButton::clicked, this, [this] {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, "打开记录", QFileInfo(folder()).absolutePath());
    if (!chosen.isEmpty()) emit openRequested(chosen);
  });
  connect(timer_, &QTimer::timeout, this, &RecordPanel::ShowStatus);
  timer_->setInterval(1000);
}

RecordPanel::~RecordPanel() {
  StopTaking();
  triggering_.reset();
  if (closer_.joinable()) closer_.join();
  if (recorder_) {
    const std::string folder = recorder_->folder();
    recorder_->Close();
    recording::NoteClosed(production::RecordingRegistry(), folder);
  }
}

QString RecordPanel::folder() const {
  return folder_->text().trimmed();
}

// "…/记录-20261210-145500" in the data folder: a new one for each recording.
QString RecordPanel::NewFolderName() const {
  return QDir(dataFolder_)
      .filePath("记录-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
}

void RecordPanel::SetFailure(const QString& text) {
  status_->setText(text);
  status_->setToolTip(text);
  status_->setStyleSheet("QLabel { color: #cf222e; }");
}

QString RecordPanel::StartRecording() {
  if (recorder_ || closer_.joinable()) WaitForEnd();
  recording::RecorderSettings settings;
  const std::string asked = FromQt(folder());
  settings.folder = recording::FreeRecordingFolder(asked);  // never over another recording
  if (facts_) settings.description = facts_();
  const QString limit = limit_->currentData().toString();
  if (limit.startsWith('t')) {
    settings.limitSeconds = recording::ParseDuration(FromQt(limit.mid(1))).value_or(0);
  } else if (limit.startsWith('s')) {
    settings.limitBytes = recording::ParseSize(FromQt(limit.mid(1))).value_or(0);
  }
  std::optional<acquisition::TriggerSetup> setup;
  const QVariant keep = triggered_->currentData();
  if (keep.isValid()) {
    const auto read = trigger_ ? trigger_()
                               : base::Failure{base::Failure::Kind::TriggerRefused,
                                               {},
                                               "no trigger",
                                               base::Failure::Cause::Other};
    if (!read) {
      record_->setChecked(false);
      const QString why = "无法触发记录: " + ReasonText(read.failure());
      SetFailure(why);
      return why;
    }
    setup = read.value();
    settings.description.trigger = FromQt(TriggerText(*setup));
    settings.description.kept =
        recording::TriggeredKeepName(static_cast<recording::TriggeredKeep>(keep.toInt()));
  }
  auto started = recording::Recorder::Start(std::move(settings));
  if (!started) {
    record_->setChecked(false);
    const QString why =
        "无法记录: " + ToQt(started.failure().subject) + "\n" + ReasonText(started.failure());
    SetFailure(why);
    return why;
  }
  recorder_ = std::move(started.value());
  if (setup) {
    triggering_ = std::make_unique<recording::TriggeredRecording>(
        *recorder_, *setup, static_cast<recording::TriggeredKeep>(keep.toInt()));
  }
  // Every block while recording, whether the waveform window is on view or not; a stop of
  // the acquisition leaves a gap.
  StopTaking();
  if (feed_) {
    subscription_ = feed_->Subscribe({.block = [this](const acquisition::BlockView& block,
                                                      int lostBefore) { Take(block, lostBefore); },
                                      .tick = {},
                                      .stopped = [this] { Pause(); }});
  }
  (void)recording::NoteOpen(production::RecordingRegistry(), recorder_->folder());
  folder_->setText(ToQt(recorder_->folder()));
  folder_->setEnabled(false);
  note_->setEnabled(true);
  browse_->setEnabled(false);
  limit_->setEnabled(false);
  triggered_->setEnabled(false);
  record_->setChecked(true);
  status_->setStyleSheet({});
  status_->setToolTip(ToQt(asked == recorder_->folder()
                               ? recorder_->folder()
                               : asked + " 已有记录，改用 " + recorder_->folder()));
  ShowStatus();
  timer_->start();
  return {};
}

void RecordPanel::Take(const acquisition::BlockView& block, int lostBefore) {
  if (triggering_) {
    triggering_->Add(block, lostBefore);
  } else if (recorder_) {
    recorder_->Add(block, lostBefore);
  }
}

void RecordPanel::StopTaking() {
  if (feed_ && subscription_ != 0) feed_->Unsubscribe(subscription_);
  subscription_ = 0;
}

void RecordPanel::Pause() {
  if (triggering_) triggering_->Stopped();  // spans still waiting, as far as they came
  if (recorder_) recorder_->Pause();
}

void RecordPanel::ShowStatus() {
  if (!recorder_) return;
  const recording::RecorderStatus s = recorder_->Status();
  if (s.ended != recording::EndReason::None) {
    EndRecording();  // it ended itself: a limit, the disk
    return;
  }
  // The disk's time left first: the figure that matters overnight is never the one cut off
  // at the window's width.
  const QString counts =
      (triggering_ ? QString("触发 %1 次, ").arg(triggering_->fired()) : QString()) + Counts(s);
  const QString text = s.secondsLeft ? "磁盘约可再记录 " + Duration(*s.secondsLeft) + " | " + counts
                                     : "记录中: " + counts;
  status_->setText(text);
  status_->setStyleSheet(s.lowOnRoom ? "QLabel { color: #cf222e; }" : "");
}

void RecordPanel::EndRecording() {
  timer_->stop();
  note_->setEnabled(false);
  record_->setChecked(false);
  if (!recorder_) return;
  StopTaking();
  if (triggering_) triggering_->Stopped();
  triggering_.reset();
  if (closer_.joinable()) closer_.join();
  // A disk that holds up the last blocks keeps this said until the files are closed.
  status_->setText("正在结束记录，等待磁盘写完最后的数据块…");
  // The last blocks and the files' closing go on without the window.
  closer_ =
      std::thread([this, recorder = std::shared_ptr<recording::Recorder>(std::move(recorder_))] {
        const recording::RecorderStatus status = recorder->Close();
        const QString folder = ToQt(recorder->folder());
        recording::NoteClosed(production::RecordingRegistry(), recorder->folder());
        QMetaObject::invokeMethod(
            this, [this, status, folder] { ShowEnded(status, folder); }, Qt::QueuedConnection);
      });
}

void RecordPanel::ShowEnded(const recording::RecorderStatus& s, const QString& folder) {
  if (closer_.joinable()) closer_.join();
  const QString reason = ToQt(recording::EndReasonCaption(s.ended)) +
                         (s.detail.empty() ? QString() : ": " + ToQt(s.detail));
  const QString text = QString("记录已结束 (%1): %2").arg(reason, Counts(s));
  const bool fault = s.ended == recording::EndReason::DiskFull ||
                     s.ended == recording::EndReason::DiskSlow ||
                     s.ended == recording::EndReason::WriteFailed;
  if (fault) {
    SetFailure(text);
  } else {
    status_->setText(text);
    status_->setStyleSheet({});
  }
  status_->setToolTip(folder + "\n" + ToQt(recording::LocalText(s.startUtcMicros)) + " — " +
                      ToQt(recording::LocalText(s.endUtcMicros)) + "\nUTC " +
                      ToQt(recording::UtcText(s.startUtcMicros)) + " — " +
                      ToQt(recording::UtcText(s.endUtcMicros)));
  folder_->setText(NewFolderName());
  folder_->setEnabled(true);
  browse_->setEnabled(true);
  limit_->setEnabled(true);
  triggered_->setEnabled(true);
}

void RecordPanel::AskForNote() {
  if (!recorder_) return;
  // The moment the operator asked, not the moment the dialog closed.
  const int64_t utcMicros = QDateTime::currentMSecsSinceEpoch() * 1000;
  bool ok = false;
  const QString text = QInputDialog::getMultiLineText(this, "备注", "备注内容:", {}, &ok);
  if (!ok || text.isEmpty() || !recorder_) return;
  if (auto added = recorder_->AddNote(text.toStdString(), utcMicros); !added) {
    SetFailure("备注未能加入记录: " + ToQt(added.failure().reason));
  }
}

void RecordPanel::WaitForEnd() {
  if (closer_.joinable()) closer_.join();
  QCoreApplication::sendPostedEvents(this);
}
