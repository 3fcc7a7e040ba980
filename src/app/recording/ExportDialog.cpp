#include "ExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ExportArguments.h"
#include "Hdf5Export.h"
#include "RecordingExport.h"
#include "RecordingView.h"
#include "WidgetText.h"

namespace {

QString Seconds(int64_t micros) {
  return QString::number(static_cast<double>(micros) / 1e6, 'f', 3);
}

// "1-4" for 0, 1, 2, 3; "1,5,9" otherwise.
QString ChannelText(const std::vector<int>& channels) {
  QStringList parts;
  for (size_t i = 0; i < channels.size();) {
    size_t j = i;
    while (j + 1 < channels.size() && channels[j + 1] == channels[j] + 1) ++j;
    parts << (j > i + 1 ? QString("%1-%2").arg(channels[i] + 1).arg(channels[j] + 1)
                        : QString::number(channels[i] + 1));
    if (j == i + 1) parts << QString::number(channels[j] + 1);
    i = j + 1;
  }
  return parts.join(",");
}

const char* Suffix(recording::ExportFormat format) {
  return format == recording::ExportFormat::Hdf5 ? "h5" : recording::ExportFormatName(format);
}

}  // namespace

ExportDialog::ExportDialog(const QString& folder, int64_t startMicros, int64_t from, int64_t to,
                           const std::vector<int>& channels, QWidget* parent)
    : QDialog(parent),
      folder_(folder),
      start_(startMicros),
      format_(new QComboBox(this)),
      from_(new QLineEdit(Seconds(from - startMicros), this)),
      to_(new QLineEdit(Seconds(to - startMicros), this)),
      channels_(new QLineEdit(ChannelText(channels), this)),
      volts_(new QCheckBox("以伏特 (float32) 导出", this)),
      path_(new QLineEdit(this)),
      progress_(new QProgressBar(this)),
      said_(new QLabel(this)),
      export_(new QPushButton("导出", this)),
      cancel_(new QPushButton("取消", this)) {
  setWindowTitle("导出记录");
  format_->setObjectName("cboExportFormat");
  from_->setObjectName("txtExportFrom");
  to_->setObjectName("txtExportTo");
  channels_->setObjectName("txtExportChannels");
  volts_->setObjectName("chkExportVolts");
  path_->setObjectName("txtExportPath");
  progress_->setObjectName("prgExport");
  said_->setObjectName("lblExportDone");
  export_->setObjectName("cmdExportStart");
  cancel_->setObjectName("cmdExportCancel");
  said_->setWordWrap(true);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  for (auto format : {recording::ExportFormat::Hdf5, recording::ExportFormat::Csv,
                      recording::ExportFormat::Wav, recording::ExportFormat::Npy}) {
    format_->addItem(QString(recording::ExportFormatName(format)).toUpper(),
                     static_cast<int>(format));
  }
  if (!recording::Hdf5Available()) format_->removeItem(0);  // this build has no HDF5
  const QString base =
      QDir(QFileInfo(folder).absolutePath()).filePath(QFileInfo(folder).fileName());
  const auto suggest = [this, base] {
    const auto format = static_cast<recording::ExportFormat>(format_->currentData().toInt());
    path_->setText(base + "." + Suffix(format));
    volts_->setEnabled(format == recording::ExportFormat::Hdf5 ||
                       format == recording::ExportFormat::Npy);
  };
  suggest();
  connect(format_, &QComboBox::currentIndexChanged, this, suggest);
  LayOut();
  connect(export_, &QPushButton::clicked, this, &ExportDialog::Start);
  connect(cancel_, &QPushButton::clicked, this, &ExportDialog::reject);
}

// The form, with a button beside the file's name to choose another, over the progress and
// the buttons.
void ExportDialog::LayOut() {
  auto* browse = new QPushButton("…", this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = QFileDialog::getSaveFileName(this, "导出到", path_->text());
    if (!chosen.isEmpty()) path_->setText(chosen);
  });
  auto* where = new QHBoxLayout;
  where->addWidget(path_, 1);
  where->addWidget(browse);
  auto* form = new QFormLayout;
  form->addRow("格式:", format_);
  form->addRow("从 (秒或 UTC 时刻):", from_);
  form->addRow("到 (秒或 UTC 时刻):", to_);
  form->addRow("通道 (如 1-16,33):", channels_);
  form->addRow("", volts_);
  form->addRow("文件:", where);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(export_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(progress_);
  layout->addWidget(said_);
  layout->addLayout(buttons);
}

ExportDialog::~ExportDialog() {
  cancelled_ = true;
  if (exporter_.joinable()) exporter_.join();
}

void ExportDialog::reject() {
  if (exporter_.joinable()) {
    cancelled_ = true;  // the export says when it has stopped
    return;
  }
  QDialog::reject();
}

void ExportDialog::Busy(bool busy) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{format_, from_, to_, channels_, volts_, path_, export_})
    w->setEnabled(!busy);
  if (!busy) {
    const auto format = static_cast<recording::ExportFormat>(format_->currentData().toInt());
    volts_->setEnabled(format == recording::ExportFormat::Hdf5 ||
                       format == recording::ExportFormat::Npy);
  }
}

void ExportDialog::Start() {
  if (exporter_.joinable()) return;
  const auto refuse = [this](const QString& why) { Finished(why, true); };
  recording::ExportRequest request;
  request.format = static_cast<recording::ExportFormat>(format_->currentData().toInt());
  request.volts = volts_->isEnabled() && volts_->isChecked();
  request.path = FromQt(path_->text());
  const auto channels = recording::ParseChannelList(FromQt(channels_->text()));
  if (!channels) return refuse("通道无法识别: 请写 1 到 64 的通道号或范围，如 1-16,33,40");
  request.span.channels = *channels;
  const auto from = recording::ParseExportTime(FromQt(from_->text()), start_);
  const auto to = recording::ParseExportTime(FromQt(to_->text()), start_);
  if (!from || !to || *to <= *from) {
    return refuse(
        "时段无法识别: 请写距开始的秒数 (如 90、1h30m) 或 UTC 时刻 "
        "(如 2026-12-10T14:22:17Z)，且结束晚于开始");
  }
  request.span.fromMicros = *from;
  request.span.toMicros = *to;
  if (request.path.empty()) return refuse("请选择导出的文件");
  cancelled_ = false;
  shownPercent_ = -1;
  progress_->setValue(0);
  said_->setStyleSheet("");
  said_->setText("正在导出 " + path_->text() + " …");
  Busy(true);
  exporter_ = std::thread([this, request, folder = FromQt(folder_)] {
    auto view = recording::RecordingView::Open(folder);
    recording::ExportControl control{
        .cancel = &cancelled_, .progress = [this](double done) {
          const int percent = static_cast<int>(done * 100);
          if (shownPercent_.exchange(percent) == percent) return;
          QMetaObject::invokeMethod(
              progress_, [this, percent] { progress_->setValue(percent); }, Qt::QueuedConnection);
        }};
    const auto done = view ? recording::Export(view.value(), request, control)
                           : base::Result<recording::ExportOutcome>(view.failure());
    QString text;
    bool failed = true;
    if (!done) {
      text = "导出失败，未留下文件: " + ToQt(request.path) + ": " + ReasonText(done.failure());
    } else if (done.value().cancelled) {
      text = "导出已取消，未留下文件";
    } else {
      const recording::ExportOutcome& o = done.value();
      uint64_t damaged = 0;
      for (const recording::DamagedSpan& d : o.damaged) damaged += d.blocks;
      text = QString("已导出 %1 %2，%3 个文件: %4")
                 .arg(o.rows)
                 .arg(request.format == recording::ExportFormat::Csv ? "行" : "个采样点")
                 .arg(o.files.size())
                 .arg(ToQt(o.files.empty() ? request.path : o.files.front()));
      if (!o.gaps.empty()) text += QString("；间断 %1 处 (见间断表)").arg(o.gaps.size());
      if (damaged > 0) text += QString("；%1 块已损坏，按间断导出").arg(damaged);
      failed = damaged > 0;
    }
    QMetaObject::invokeMethod(
        this, [this, text, failed] { Finished(text, failed); }, Qt::QueuedConnection);
  });
}

void ExportDialog::Finished(const QString& text, bool failed) {
  if (exporter_.joinable()) exporter_.join();
  if (!failed) progress_->setValue(100);
  said_->setText(text);
  said_->setStyleSheet(failed ? "QLabel { color: #cf222e; }" : "");
  Busy(false);
}

void ExportDialog::WaitForExport() {
  if (exporter_.joinable()) exporter_.join();
  QCoreApplication::sendPostedEvents(progress_);
  QCoreApplication::sendPostedEvents(this);
}
