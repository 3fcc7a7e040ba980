#include "RecordingViewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "CauseText.h"
#include "ExportDialog.h"
#include "RecordingExport.h"
#include "RecordingPlot.h"
#include "Waveform.h"
#include "WidgetText.h"

namespace {

QString Local(int64_t utcMicros) {
  return QDateTime::fromMSecsSinceEpoch(utcMicros / 1000).toString("yyyy-MM-dd HH:mm:ss.zzz");
}

// Where damaged blocks were left out, the first few runs of them: "segment-0002.kzr 中 24 块
// (2026-12-10 14:02:03.120 — 2026-12-10 14:02:12.336)，…".
QString DamagedText(const std::vector<recording::DamagedSpan>& damaged) {
  constexpr size_t kSaid = 3;
  QStringList where;
  for (size_t i = 0; i < std::min(damaged.size(), kSaid); ++i) {
    const recording::DamagedSpan& d = damaged[i];
    where << QString("%1 中 %2 块 (%3 — %4)")
                 .arg(ToQt(recording::SegmentName(d.segment)))
                 .arg(d.blocks)
                 .arg(Local(d.fromMicros), Local(d.toMicros));
  }
  if (damaged.size() > kSaid) where << QString("另有 %1 处").arg(damaged.size() - kSaid);
  return where.join("，");
}

// How an event crossed its level, as the trigger's settings call it.
QString EdgeText(recording::EventEdge edge) {
  switch (edge) {
    case recording::EventEdge::Rising:
      return "上升沿";
    case recording::EventEdge::Falling:
      return "下降沿";
    case recording::EventEdge::Entering:
      return "进入窗口";
    case recording::EventEdge::Leaving:
      return "离开窗口";
  }
  return {};
}

// A note's text on one line, its start only when it is long: the whole in its tooltip.
QString NoteLine(const QString& text) {
  constexpr int kShown = 120;
  const QString line = text.simplified();
  return line.size() > kShown ? line.left(kShown) + "…" : line;
}

QString Length(int64_t micros) {
  const qint64 s = micros / 1'000'000;
  if (s >= 3600) return QString("%1小时%2分%3秒").arg(s / 3600).arg(s / 60 % 60).arg(s % 60);
  if (s >= 60) return QString("%1分%2秒").arg(s / 60).arg(s % 60);
  return QString("%1 秒").arg(static_cast<double>(micros) / 1e6, 0, 'f', 3);
}

}  // namespace

RecordingViewer::RecordingViewer(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      folder_(folder),
      plot_(new RecordingPlot(this)),
      fit_(new QCheckBox("纵轴适应数据", this)),
      facts_(new QLabel(this)),
      problems_(new QLabel(this)),
      span_(new QLabel(this)),
      exported_(new QLabel(this)),
      marks_(new QListWidget(this)),
      exportCsv_(new QPushButton("导出 CSV…", this)),
      exportWav_(new QPushButton("导出 WAV…", this)) {
  setObjectName("RecordingViewer");
  setWindowTitle("记录查看 - " + folder);
  SetUpControls();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(facts_);
  layout->addWidget(problems_);
  layout->addLayout(TraceSlots());
  layout->addWidget(plot_, 1);
  layout->addWidget(marks_);
  layout->addLayout(Actions());
  layout->addWidget(exported_);
  resize(960, 620);
  auto opened = recording::RecordingView::Open(FromQt(folder));
  if (!opened) {
    failure_ = ReasonText(opened.failure());
    problems_->setText("无法打开记录: " + failure_);
    exportCsv_->setEnabled(false);
    exportWav_->setEnabled(false);
    return;
  }
  view_ = std::make_unique<recording::RecordingView>(std::move(opened.value()));
  // Half an export a killed program left beside the recording, where exports go.
  for (const QString& place : {folder, QFileInfo(folder).absolutePath()}) {
    for (const std::string& gone : recording::RemoveLeftoverExports(FromQt(place)))
      std::fprintf(stderr, "kzb7310: 未完成的导出已删除 unfinished export removed: %s\n",
                   gone.c_str());
  }
  plot_->SetChannels(Channels());
  plot_->SetView(view_.get());
  ShowFacts();
  ShowMarks();
  CheckRecords();
}

// "2026-12-10 14:02:03.120  事件: 通道6 (Ch 5) 上升沿 1.500 V", "…  备注: 探头换到通道 3";
// the list is there only for a recording that holds any.
void RecordingViewer::ShowMarks() {
  struct Mark {
    int64_t utcMicros;
    QString text, tip;
  };
  std::vector<Mark> marks;
  for (const recording::EventRecord& e : view_->events()) {
    marks.push_back({e.utcMicros,
                     QString("事件: 通道%1 (Ch %2) %3 %4 V%5")
                         .arg(e.channel + 1)
                         .arg(e.channel)
                         .arg(EdgeText(e.edge))
                         .arg(e.levelVolts, 0, 'f', 3)
                         .arg(e.gap ? " (有数据块丢失，时间近似)" : ""),
                     {}});
  }
  for (const recording::NoteRecord& n : view_->notes()) {
    const QString text = QString::fromStdString(n.text);
    marks.push_back({n.utcMicros, "备注: " + NoteLine(text), text});
  }
  std::stable_sort(marks.begin(), marks.end(),
                   [](const Mark& a, const Mark& b) { return a.utcMicros < b.utcMicros; });
  for (const Mark& m : marks) {
    auto* item = new QListWidgetItem(Local(m.utcMicros) + "  " + m.text, marks_);
    if (!m.tip.isEmpty()) item->setToolTip(m.tip);
  }
  marks_->setVisible(!marks.empty());
}

// Every record read back on a thread of its own, from a copy of the view's index (a few
// megabytes for a day: copied at once, where reading the summaries again would hold up a
// window closed early), the damaged ones then marked in the window's view.
void RecordingViewer::CheckRecords() {
  checker_ = std::thread([this, index = view_->index()] {
    const std::vector<recording::RowPlace> damaged = recording::CheckRecords(index, stopCheck_);
    QMetaObject::invokeMethod(
        this, [this, damaged] { ShowChecked(damaged); }, Qt::QueuedConnection);
  });
}

void RecordingViewer::ShowChecked(const std::vector<recording::RowPlace>& damaged) {
  if (checker_.joinable()) checker_.join();
  if (damaged.empty()) return;
  for (const recording::RowPlace& place : damaged) view_->MarkDamaged(place);
  ShowFacts();
  plot_->update();
}

void RecordingViewer::WaitForCheck() {
  if (checker_.joinable()) checker_.join();
  QCoreApplication::sendPostedEvents(this);
}

void RecordingViewer::SetUpControls() {
  plot_->setObjectName("RecordingPlot");
  fit_->setObjectName("chkViewFit");
  facts_->setObjectName("lblViewFacts");
  problems_->setObjectName("lblViewProblems");
  problems_->setStyleSheet("QLabel { color: #cf222e; }");
  problems_->setWordWrap(true);
  span_->setObjectName("lblViewSpan");
  span_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // never widens the window
  exported_->setObjectName("lblExport");
  marks_->setObjectName("lstViewMarks");
  marks_->setMaximumHeight(110);
  marks_->hide();
  exported_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  exportCsv_->setObjectName("cmdExportCsv");
  exportWav_->setObjectName("cmdExportWav");
  connect(fit_, &QCheckBox::toggled, plot_, &RecordingPlot::SetFitToData);
  connect(plot_, &RecordingPlot::spanChanged, this, &RecordingViewer::ShowSpan);
  connect(exportCsv_, &QPushButton::clicked, this, [this] { ChooseAndExport(Format::Csv); });
  connect(exportWav_, &QPushButton::clicked, this, [this] { ChooseAndExport(Format::Wav); });
}

// The four trace slots ("曲线1:" …), channels 1 to 4 at first.
QHBoxLayout* RecordingViewer::TraceSlots() {
  auto* traces = new QHBoxLayout;
  for (int i = 0; i < 4; ++i) {
    auto* slot = new QComboBox(this);
    slot->setObjectName(QString("cboViewTrace%1").arg(i));
    slot->addItem("无", -1);
    for (int ch = 0; ch < 64; ++ch) slot->addItem(ToQt(acquisition::TraceName(ch)), ch);
    slot->setCurrentIndex(i + 1);
    connect(slot, &QComboBox::currentIndexChanged, this,
            [this] { plot_->SetChannels(Channels()); });
    traces->addWidget(new QLabel(QString("曲线%1:").arg(i + 1), this));
    traces->addWidget(slot);
    slots_[i] = slot;
  }
  traces->addWidget(fit_);
  traces->addStretch();
  return traces;
}

// The moves over the recording, the span on view, and the exports.
QHBoxLayout* RecordingViewer::Actions() {
  auto* actions = new QHBoxLayout;
  const std::tuple<const char*, const char*, std::function<void()>> moves[] = {
      {"cmdViewAll", "全部", [this] { plot_->ShowAll(); }},
      {"cmdZoomIn", "放大", [this] { plot_->Zoom(0.5); }},
      {"cmdZoomOut", "缩小", [this] { plot_->Zoom(2); }},
      {"cmdPanBack", "◀", [this] { plot_->Pan(-0.5); }},
      {"cmdPanOn", "▶", [this] { plot_->Pan(0.5); }}};
  for (const auto& [name, caption, move] : moves) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    connect(button, &QPushButton::clicked, this, move);
    actions->addWidget(button);
  }
  actions->addWidget(span_, 1);
  actions->addWidget(exportCsv_);
  actions->addWidget(exportWav_);
  auto* exportAny = new QPushButton("导出…", this);  // any format, span and channels
  exportAny->setObjectName("cmdExportDialog");
  connect(exportAny, &QPushButton::clicked, this, [this] {
    if (view_)
      (new ExportDialog(folder_, view_->startMicros(), plot_->from(), plot_->to(), Channels(),
                        this))
          ->open();
  });
  actions->addWidget(exportAny);
  return actions;
}

RecordingViewer::~RecordingViewer() {
  stopCheck_ = true;
  if (checker_.joinable()) checker_.join();
  if (exporter_.joinable()) exporter_.join();
}

std::vector<int> RecordingViewer::Channels() const {
  std::vector<int> channels;
  for (QComboBox* slot : slots_) {
    if (slot->currentIndex() > 0) channels.push_back(slot->currentIndex() - 1);
  }
  return channels;
}

void RecordingViewer::ShowFacts() {
  const recording::RecordingIndex& index = view_->index();
  const recording::Description& d = index.description;
  // Without the description the program wrote at its end, how the recording ended is not
  // known: it is never called complete, nor interrupted.
  const QString state = index.stillWriting                             ? "记录中"
                        : index.complete                               ? "已完成"
                        : index.endUnknown || index.descriptionMissing ? "结束情况未知"
                                                                       : "曾被中断";
  facts_->setText(QString("%1   %2 — %3 (%4)   %5 块，丢失 %6 块，间断 %7 处   %8")
                      .arg(ToQt(d.card), Local(view_->startMicros()), Local(view_->endMicros()),
                           Length(view_->endMicros() - view_->startMicros()))
                      .arg(index.blocksRecorded)
                      .arg(index.blocksLost)
                      .arg(index.gaps)
                      .arg(state));
  facts_->setToolTip(QString("%1\nUTC %2 — %3\n%4, %5")
                         .arg(folder_, ToQt(recording::UtcText(view_->startMicros())),
                              ToQt(recording::UtcText(view_->endMicros())), ToQt(d.program),
                              ToQt(d.cardLibrary)));
  QStringList problems;
  for (const base::Failure& p : index.problems) problems << ToQt(p.subject) + ": " + ReasonText(p);
  if (index.blocksDamaged > 0) {
    problems << QString("%1 块已损坏，未显示（图中标为“损坏”）: %2")
                    .arg(index.blocksDamaged)
                    .arg(DamagedText(view_->Damaged(view_->startMicros(), view_->endMicros())));
  }
  damagedShown_ = index.blocksDamaged;
  problems_->setText(problems.isEmpty() ? QString() : "未能读取: " + problems.join("；"));
  problems_->setVisible(!problems.isEmpty());
}

// The span in the room the row leaves at the window's least width: the times of day (the
// facts above give the date), the dates only when it runs over midnight, milliseconds only
// for spans under a minute; the whole in its tip.
void RecordingViewer::ShowSpan() {
  if (view_ && view_->index().blocksDamaged != damagedShown_) ShowFacts();  // found on reading
  const QDateTime from = QDateTime::fromMSecsSinceEpoch(plot_->from() / 1000);
  const QDateTime to = QDateTime::fromMSecsSinceEpoch(plot_->to() / 1000);
  const int64_t length = plot_->to() - plot_->from();
  QString time = length < 60'000'000 ? "HH:mm:ss.zzz" : "HH:mm:ss";
  if (from.date() != to.date()) time = "MM-dd " + time;
  const QString text = QString("%1 — %2 (%3)%4")
                           .arg(from.toString(time), to.toString(time), Length(length),
                                plot_->showsSamples() ? "，单个采样点" : QString());
  // Cut in the middle where a font is wider than the window allows, so that the span's ends
  // and what it shows stay; the whole in its tip. A label not laid out yet takes it whole.
  const int room = span_->width();
  span_->setText(room > 0 ? span_->fontMetrics().elidedText(text, Qt::ElideMiddle, room) : text);
  span_->setToolTip(QString("%1\n%2 — %3").arg(text, Local(plot_->from()), Local(plot_->to())));
}

void RecordingViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (view_) ShowSpan();
}

void RecordingViewer::ChooseAndExport(Format format) {
  const bool csv = format == Format::Csv;
  const QString name =
      QString("%1-%2.%3")
          .arg(QFileInfo(folder_).fileName(),
               QDateTime::fromMSecsSinceEpoch(plot_->from() / 1000).toString("yyyyMMdd-HHmmss"),
               csv ? "csv" : "wav");
  const QString path = QFileDialog::getSaveFileName(
      this, csv ? "导出 CSV" : "导出 WAV", QDir(QFileInfo(folder_).absolutePath()).filePath(name),
      csv ? "CSV (*.csv)" : "WAV (*.wav)");
  if (!path.isEmpty()) Export(format, path);
}

void RecordingViewer::Export(Format format, const QString& path) {
  if (!view_ || Channels().empty()) return;
  WaitForExport();
  exportCsv_->setEnabled(false);
  exportWav_->setEnabled(false);
  exported_->setText("正在导出 " + path + " …");
  const recording::ExportSpan span{
      .fromMicros = plot_->from(), .toMicros = plot_->to(), .channels = Channels()};
  // Its own view of the recording: the window's goes on drawing meanwhile.
  exporter_ = std::thread([this, format, path, span, folder = FromQt(folder_)] {
    auto view = recording::RecordingView::Open(folder);
    base::Result<recording::ExportOutcome> done =
        !view                   ? base::Result<recording::ExportOutcome>(view.failure())
        : format == Format::Csv ? recording::ExportCsv(view.value(), span, FromQt(path))
                                : recording::ExportWav(view.value(), span, FromQt(path));
    QString text;
    if (!done) {
      text = "导出失败: " + path + ": " + ReasonText(done.failure());
    } else if (done.value().rows < done.value().rowsInSpan) {
      text =
          QString(
              "只导出了前 %1 行（共 %2 行）: 电子表格最多 %3 行。请选较短的时段，或导出 WAV。 %4")
              .arg(done.value().rows)
              .arg(done.value().rowsInSpan)
              .arg(recording::kSpreadsheetRows)
              .arg(path);
    } else {
      text = QString("已导出 %1 %2: %3")
                 .arg(done.value().rows)
                 .arg(format == Format::Csv ? "行" : "帧", path);
      if (format == Format::Wav) {
        text += QString(" (%1 Hz%2，间断处为 0 V)")
                    .arg(done.value().sampleRateHz)
                    .arg(done.value().rf64 ? "，RF64" : "");
      }
    }
    if (done && !done.value().damaged.empty()) {
      uint64_t blocks = 0;
      for (const recording::DamagedSpan& d : done.value().damaged) blocks += d.blocks;
      text += QString("；%1 块已损坏，未导出（按间断处理）: %2")
                  .arg(blocks)
                  .arg(DamagedText(done.value().damaged));
    }
    const bool failed =
        !done || done.value().rows < done.value().rowsInSpan || !done.value().damaged.empty();
    QMetaObject::invokeMethod(
        this, [this, text, failed] { ShowExported(text, failed); }, Qt::QueuedConnection);
  });
}

void RecordingViewer::ShowExported(const QString& text, bool failed) {
  if (exporter_.joinable()) exporter_.join();
  exported_->setText(text);
  exported_->setToolTip(text);
  exported_->setStyleSheet(failed ? "QLabel { color: #cf222e; }" : "");
  exportCsv_->setEnabled(true);
  exportWav_->setEnabled(true);
}

void RecordingViewer::WaitForExport() {
  if (exporter_.joinable()) exporter_.join();
  QCoreApplication::sendPostedEvents(this);
}
