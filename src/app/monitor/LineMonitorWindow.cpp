#include "LineMonitorWindow.h"

#include <QComboBox>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>

#include "ControlChart.h"
#include "LineStore.h"
#include "MeasurementText.h"
#include "NumberForms.h"
#include "WidgetText.h"

namespace {

// How long closing waits for the worker: a statement's bound and a connection's, and more.
constexpr int kStopWaitMs = 20000;

// The spans to choose from, in hours (0: every run the line has).
constexpr int kSpanHours[] = {8, 24, 24 * 7, 24 * 30, 0};
constexpr const char* kSpanNames[] = {"最近8小时", "最近24小时", "最近7天", "最近30天", "全部"};

// A UTC time of the line as the local clock reads it: "12-10 16:00:05".
QString Local(const std::string& utc, const char* form = "MM-dd HH:mm:ss") {
  if (utc.empty()) return "—";
  const QDateTime t = QDateTime::fromString(ToQt(utc), Qt::ISODate);
  return t.isValid() ? t.toLocalTime().toString(form) : ToQt(utc);
}

QString Percent(int part, int whole) {
  return whole == 0 ? "—" : ToQt(numtext::Fixed(100.0 * part / whole, 1)) + "%";
}

QString VerdictText(const std::string& name) {
  const auto verdict = selftest::VerdictNamed(name);
  return verdict ? ToQt(selftest::VerdictTitle(*verdict)) : ToQt(name);
}

QString FigureTitle(const std::string& name) {
  return ToQt(selftest::MeasurementTitle(selftest::FigureId(name)));
}

QString CheckTitleOf(const std::string& name) {
  const auto kind = selftest::CheckNamed(name);
  return kind ? ToQt(selftest::CheckTitle(*kind)) : ToQt(name);
}

QTableWidget* Table(const QString& name, const QStringList& headings) {
  auto* table = new QTableWidget(0, int(headings.size()));
  table->setObjectName(name);
  table->setHorizontalHeaderLabels(headings);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, c, item);
  }
}

QWidget* Pane(const QString& title, QWidget* content, QWidget* above = nullptr) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  if (above) layout->addWidget(above);
  layout->addWidget(content, 1);
  return box;
}

}  // namespace

LineMonitorWindow::LineMonitorWindow(const selftest::LineSettings& settings, QWidget* parent)
    : QWidget(parent), where_(line::Where(settings)) {
  setWindowTitle("全线看板");
  setObjectName("LineMonitor");
  resize(1280, 860);
  lblMonitor_ = new QLabel("全线: 正在连接 " + ToQt(where_) + " …");
  lblMonitor_->setObjectName("lblMonitor");
  // However long the server's words, the window keeps its width: the whole in the tooltip.
  lblMonitor_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  cboSpan_ = new QComboBox;
  cboSpan_->setObjectName("cboSpan");
  for (const char* name : kSpanNames) cboSpan_->addItem(name);
  cboSpan_->setCurrentIndex(1);
  cboFigure_ = new QComboBox;
  cboFigure_->setObjectName("cboFigure");
  cboFigure_->setMinimumContentsLength(24);
  cboChartStation_ = new QComboBox;
  cboChartStation_->setObjectName("cboChartStation");
  cboChartStation_->addItem("全线");
  tblStations_ =
      Table("tblStations", {"工位", "最近一次", "结论", "开始", "最近上传", "时钟偏差", "待上传"});
  tblYield_ = Table("tblYield", {"小时", "工位", "次数", "板卡", "一次通过率", "最终合格率"});
  tblPareto_ = Table("tblPareto", {"类别", "名称", "失败次数", "累计占比"});
  picControlChart_ = new ControlChart;

  auto* top = new QHBoxLayout;
  top->addWidget(lblMonitor_, 1);
  top->addWidget(new QLabel("时段:"));
  top->addWidget(cboSpan_);
  auto* chartChoice = new QWidget;
  auto* chartRow = new QHBoxLayout(chartChoice);
  chartRow->setContentsMargins(0, 0, 0, 0);
  chartRow->addWidget(new QLabel("指标:"));
  chartRow->addWidget(cboFigure_, 1);
  chartRow->addWidget(new QLabel("工位:"));
  chartRow->addWidget(cboChartStation_);
  auto* grid = new QGridLayout;
  grid->addWidget(Pane("各工位 stations", tblStations_), 0, 0);
  grid->addWidget(Pane("失败排列 Pareto", tblPareto_), 0, 1);
  grid->addWidget(Pane("良率 yield", tblYield_), 1, 0);
  grid->addWidget(Pane("控制图 control chart", picControlChart_, chartChoice), 1, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(grid, 1);

  thread_ = new QThread;
  worker_ = new MonitorWorker(
      settings, this, [this](std::shared_ptr<const MonitorPicture> p) { Shown(std::move(p)); },
      [this](const base::Failure& failure) { Lost(failure); });
  worker_->moveToThread(thread_);
  thread_->start();
  Choose();  // the span first, so that the first connection reads only that
  QMetaObject::invokeMethod(worker_, [worker = worker_] { worker->Start(); });
  connect(cboSpan_, &QComboBox::currentIndexChanged, this, &LineMonitorWindow::Choose);
  connect(cboFigure_, &QComboBox::currentIndexChanged, this, &LineMonitorWindow::Choose);
  connect(cboChartStation_, &QComboBox::currentIndexChanged, this, &LineMonitorWindow::Choose);
}

LineMonitorWindow::~LineMonitorWindow() {
  QMetaObject::invokeMethod(worker_, [worker = worker_] {
    worker->Stop();
    QThread::currentThread()->quit();
  });
  if (thread_->wait(QDeadlineTimer(kStopWaitMs))) {
    delete worker_;
    delete thread_;
    return;
  }
  // A worker still waiting past every bound it has: left to the end of the program, which
  // is closing, rather than the window frozen.
  std::fputs("kzb7310: 全线看板的连接未在时限内结束 the line monitor's connection did not end\n",
             stderr);
}

void LineMonitorWindow::Choose() {
  const int span = kSpanHours[std::max(0, cboSpan_->currentIndex())];
  const std::string since =
      span == 0
          ? std::string()
          : FromQt(QDateTime::currentDateTimeUtc().addSecs(-3600LL * span).toString(Qt::ISODate));
  const std::string figure = FromQt(cboFigure_->currentData().toString());
  const std::string station =
      cboChartStation_->currentIndex() > 0 ? FromQt(cboChartStation_->currentText()) : "";
  QMetaObject::invokeMethod(worker_, [worker = worker_, since, figure, station] {
    worker->Choose(since, figure, station);
  });
}

void LineMonitorWindow::Shown(std::shared_ptr<const MonitorPicture> picture) {
  picture_ = std::move(picture);
  lblMonitor_->setText(QString("全线: 已连接 %1 · 自 %2 起 %3 次")
                           .arg(ToQt(picture_->where))
                           .arg(Local(picture_->since, "yyyy-MM-dd HH:mm"))
                           .arg(picture_->runs));
  lblMonitor_->setToolTip(lblMonitor_->text());
  lblMonitor_->setStyleSheet("");
  ShowStations();
  ShowYields();
  ShowPareto();
  ShowChart();
}

void LineMonitorWindow::Lost(const base::Failure& failure) {
  lblMonitor_->setText("全线: 无法连接 " + ToQt(where_) + ": " + ReasonText(failure));
  lblMonitor_->setToolTip(lblMonitor_->text());
  lblMonitor_->setStyleSheet("QLabel { color: #cf222e; }");
}

void LineMonitorWindow::ShowStations() {
  const auto& stations = picture_->stations;
  tblStations_->setRowCount(int(stations.size()));
  for (int r = 0; r < int(stations.size()); ++r) {
    const line::StationState& s = stations[size_t(r)];
    const std::string offset = numtext::Fixed(s.clockOffsetSeconds, 1);
    SetRow(tblStations_, r,
           {ToQt(s.station), ToQt(s.serial), VerdictText(s.verdict), Local(s.started),
            Local(s.lastSeen), ToQt((offset[0] == '-' ? "" : "+") + offset + " s"),
            // The line does not know what a station still holds.
            "—"});
  }
  tblStations_->resizeColumnsToContents();
}

void LineMonitorWindow::ShowYields() {
  const auto& yields = picture_->yields;
  tblYield_->setRowCount(int(yields.size()));
  for (int r = 0; r < int(yields.size()); ++r) {
    const line::YieldRow& row = yields[size_t(r)];
    const auto& y = row.yield;
    SetRow(
        tblYield_, r,
        {row.hour.empty() ? "全程" : Local(row.hour + ":00:00Z", "MM-dd HH:00"),
         row.station.empty() ? "全线" : ToQt(row.station), QString::number(y.runs),
         QString::number(y.units), Percent(y.firstPass, y.units), Percent(y.finalPass, y.units)});
  }
  tblYield_->resizeColumnsToContents();
}

void LineMonitorWindow::ShowPareto() {
  const auto& pareto = picture_->pareto;
  tblPareto_->setRowCount(int(pareto.size()));
  for (int r = 0; r < int(pareto.size()); ++r) {
    const line::FailureCount& f = pareto[size_t(r)];
    SetRow(tblPareto_, r,
           {f.figure ? "指标" : "检查", f.figure ? FigureTitle(f.name) : CheckTitleOf(f.name),
            QString::number(f.count), ToQt(numtext::Fixed(100.0 * f.cumulativeShare, 1)) + "%"});
  }
  tblPareto_->resizeColumnsToContents();
}

void LineMonitorWindow::ShowChart() {
  {
    const QSignalBlocker blockFigure(cboFigure_), blockStation(cboChartStation_);
    const QString figure = cboFigure_->currentData().toString();
    cboFigure_->clear();
    cboFigure_->addItem("(选择指标)", QString());
    for (const std::string& name : picture_->figureNames) {
      cboFigure_->addItem(FigureTitle(name), ToQt(name));
    }
    // Until one is chosen, the chart shows the first figure there is.
    const int chosen = cboFigure_->findData(figure);
    cboFigure_->setCurrentIndex(chosen > 0 ? chosen : cboFigure_->count() > 1 ? 1 : 0);
    const QString station = cboChartStation_->currentText();
    cboChartStation_->clear();
    cboChartStation_->addItem("全线");
    for (const line::StationState& s : picture_->stations)
      cboChartStation_->addItem(ToQt(s.station));
    cboChartStation_->setCurrentIndex(std::max(0, cboChartStation_->findText(station)));
  }
  const QString title =
      picture_->figure.empty()
          ? QString("选择一个指标")
          : FigureTitle(picture_->figure) + " · " +
                (picture_->chartStation.empty() ? QString("全线") : ToQt(picture_->chartStation));
  picControlChart_->Show(picture_->chart, picture_->analysis, title);
  if (picture_->figure.empty() && cboFigure_->currentIndex() > 0) Choose();
}
