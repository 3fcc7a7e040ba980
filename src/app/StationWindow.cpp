#include "StationWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <chrono>
#include <cstdio>

#include "CardLibrary.h"
#include "DllDef.h"
#include "MeasurementText.h"
#include "ResultsStore.h"
#include "SerialPattern.h"
#include "WholeFile.h"
#include "WidgetText.h"

namespace {

std::string NowUtc(const char* format) {
  return QDateTime::currentDateTimeUtc().toString(format).toStdString();
}

// The operator's day begins at local midnight, not at UTC's: runs are kept in UTC.
std::string TodayStartUtc() {
  return QDateTime(QDate::currentDate(), QTime(0, 0))
      .toUTC()
      .toString("yyyy-MM-ddTHH:mm:ssZ")
      .toStdString();
}

// A kept run's start as the operator's clock shows it.
QString LocalTime(const std::string& iso8601Utc) {
  return QDateTime::fromString(ToQt(iso8601Utc), Qt::ISODate)
      .toLocalTime()
      .toString("yyyy-MM-dd HH:mm:ss");
}

// A serial as part of a file name: what a file system may refuse becomes "_".
std::string FileSafe(const std::string& serial) {
  std::string safe;
  for (char c : serial) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '-' || c == '.';
    safe += plain ? c : '_';
  }
  return safe;
}

// The checks a run goes through, in order, as the list shows them before it starts.
std::vector<std::string> ChecksOf(const selftest::Profile& profile) {
  std::vector<std::string> names = {"identity", "acquisition", "analog"};
  for (const auto& d : profile.dynamic) {
    if (d) {
      names.push_back("dynamic");
      break;
    }
  }
  names.insert(names.end(), {"digital", "stop"});
  return names;
}

constexpr int kRecent = 10;

void ShowVerdict(QTreeWidgetItem* item, bool passed) {
  item->setText(1, passed ? "通过" : "失败");
  item->setForeground(1, passed ? QColor("#1a7f37") : QColor("#cf222e"));
}

}  // namespace

// A finished run as the station keeps it until the database or a report holds it.
struct StationWindow::Unsaved {
  selftest::Outcome outcome;
  selftest::RunInfo info;
  selftest::RunRecord run;
  bool stored = false, reported = false;
  std::string storeFailure, reportPath, reportFailure;  // the reasons, when not
};

struct StationWindow::Finished {
  bool tested = false;  // false: an earlier run still could not be kept, so none ran
  Unsaved last;
  std::vector<Unsaved> unsaved;  // neither stored nor reported, tried again at the next scan
  std::string libraryFailure;    // the card library would not load at the start
  std::vector<selftest::RunRecord> today, recent;
};

StationWindow::StationWindow(std::string cardLibrary, selftest::Profile profile,
                             selftest::Clock clock, QWidget* parent)
    : QWidget(parent),
      cardLibrary_(std::move(cardLibrary)),
      profile_(std::move(profile)),
      clock_(std::move(clock)),
      banner_(new QLabel(this)),
      serial_(new QLineEdit(this)),
      operator_(new QLineEdit(this)),
      start_(new QPushButton("开始测试", this)),
      stop_(new QPushButton("停止", this)),
      checks_(new QTreeWidget(this)),
      message_(new QLabel(this)),
      today_(new QLabel(this)),
      recent_(new QTableWidget(0, 4, this)) {
  setObjectName("StationWindow");
  setWindowTitle("KZB7310生产测试");
  banner_->setObjectName("lblBanner");
  banner_->setAlignment(Qt::AlignCenter);
  banner_->setMinimumHeight(110);
  QFont big = banner_->font();
  big.setPointSize(40);
  big.setBold(true);
  banner_->setFont(big);
  serial_->setObjectName("txtSerial");
  serial_->setPlaceholderText("扫描或输入序列号，回车开始");
  operator_->setObjectName("txtOperator");
  start_->setObjectName("cmdStartTest");
  stop_->setObjectName("cmdStopTest");
  start_->setMinimumHeight(56);
  QFont large = start_->font();
  large.setPointSize(18);
  start_->setFont(large);
  stop_->setEnabled(false);
  stop_->setToolTip("停止测试 (Esc)：板卡停止，输出置 0");
  checks_->setObjectName("lstChecks");
  checks_->setHeaderLabels({"检查", "状态", "测量值", "要求"});
  checks_->setRootIsDecorated(true);
  message_->setObjectName("lblMessage");
  message_->setWordWrap(true);
  today_->setObjectName("lblToday");
  recent_->setObjectName("tblRecent");
  recent_->setHorizontalHeaderLabels({"时间", "序列号", "结论", "第一个失败的检查"});
  recent_->horizontalHeader()->setStretchLastSection(true);
  recent_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  recent_->setFocusPolicy(Qt::NoFocus);

  auto* form = new QHBoxLayout;
  form->addWidget(new QLabel("序列号:", this));
  form->addWidget(serial_, 3);
  form->addWidget(new QLabel("操作员:", this));
  form->addWidget(operator_, 1);
  form->addWidget(start_, 1);
  form->addWidget(stop_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(banner_);
  layout->addLayout(form);
  layout->addWidget(checks_, 3);
  layout->addWidget(message_);
  layout->addWidget(today_);
  layout->addWidget(recent_, 2);
  resize(900, 720);

  connect(serial_, &QLineEdit::returnPressed, this, &StationWindow::StartTest);
  connect(start_, &QPushButton::clicked, this, &StationWindow::StartTest);
  connect(stop_, &QPushButton::clicked, this, &StationWindow::StopTest);
  SetBanner("请扫描序列号", "#6e7781");
  serial_->setFocus();

  // The day's results from the database, and whether the card library loads, read off the
  // window's thread; the database's driver is loaded here, on the thread that outlives them.
  results::ResultsStore::LoadDriver();
  history_ = std::thread([this] {
    Finished f;
    ReadHistory(f);
    if (auto loaded = card::CardLibrary(cardLibrary_).Load(); !loaded) {
      f.libraryFailure = loaded.failure().reason;
    }
    QMetaObject::invokeMethod(
        this,
        [this, f = std::move(f)] {
          if (!f.libraryFailure.empty() && !runFinished_ &&
              !running()) {  // a scan since speaks for itself
            SetBanner("无法运行", "#6e7781");
            ShowMessage(QString("无法加载板卡库: %1\n%2\n排除故障后扫描序列号即可重试。")
                            .arg(ToQt(cardLibrary_), ToQt(f.libraryFailure)),
                        true);
          }
          if (!runFinished_) ShowHistory(f.today, f.recent);  // else a run's is newer
        },
        Qt::QueuedConnection);
  });
}

StationWindow::~StationWindow() {
  interrupted_ = true;
  if (worker_.joinable()) worker_.join();
  if (history_.joinable()) history_.join();
}

void StationWindow::SetBanner(const QString& text, const char* colour) {
  banner_->setText(text);
  banner_->setStyleSheet(QString("QLabel { background: %1; color: white; }").arg(colour));
}

void StationWindow::ShowMessage(const QString& text, bool problem) {
  message_->setText(text);
  message_->setStyleSheet(problem ? "QLabel { color: #cf222e; }" : "");
}

void StationWindow::StartTest() {
  const std::string serial = FromQt(serial_->text().trimmed());
  if (running()) {
    // A scanner that sends a second serial while a card is under test: that one waits.
    ShowMessage(QString("测试进行中 (%1)，序列号 %2 未开始").arg(ToQt(running_), ToQt(serial)),
                true);
    return;
  }
  if (serial.empty()) {
    ShowMessage("请先扫描序列号", true);
    return;
  }
  if (const auto refusal = selftest::SerialRefusal(profile_.serialPattern, serial)) {
    ShowMessage(QString("序列号 %1 %2，未开始测试").arg(ToQt(serial), ToQt(*refusal)), true);
    serial_->selectAll();
    return;
  }
  running_ = serial;
  ShowMessage(QString(), false);
  checks_->clear();
  for (const std::string& name : ChecksOf(profile_)) {
    auto* item = new QTreeWidgetItem(checks_, {ToQt(selftest::CheckTitle(name)), "等待"});
    item->setData(0, Qt::UserRole, ToQt(name));
  }
  SetBanner("测试中… " + ToQt(serial), "#0969da");
  serial_->selectAll();  // a serial scanned during the test replaces it, not joins it
  start_->setEnabled(false);
  stop_->setEnabled(true);
  interrupted_ = false;
  const std::string operatorName = FromQt(operator_->text().trimmed());
  worker_ = std::thread([this, serial, operatorName, held = std::move(unsaved_)]() mutable {
    Finished f;
    // Runs not kept yet go first; while one still cannot be kept, no card is tested.
    for (Unsaved& u : held) {
      if (!Keep(u)) f.unsaved.push_back(std::move(u));
    }
    if (f.unsaved.empty()) {
      f.tested = true;
      f.last = Test(serial, operatorName);
      if (!Keep(f.last)) f.unsaved.push_back(f.last);
    }
    ReadHistory(f);
    QMetaObject::invokeMethod(
        this, [this, f = std::move(f)]() mutable { ShowFinished(f); }, Qt::QueuedConnection);
  });
  unsaved_.clear();
}

StationWindow::Unsaved StationWindow::Test(const std::string& serial,
                                           const std::string& operatorName) {
  Unsaved u;
  u.info.startedIso8601 = NowUtc("yyyy-MM-ddTHH:mm:ssZ");
  const auto startedAt = std::chrono::steady_clock::now();
  DllDef dll(cardLibrary_);
  u.outcome = selftest::Run(
      dll, profile_, clock_,
      [this](const std::string& check) {
        QMetaObject::invokeMethod(
            this, [this, check] { ShowProgress(check); }, Qt::QueuedConnection);
      },
      interrupted_);
  u.info.version = KZB_VERSION;
  u.info.endedIso8601 = NowUtc("yyyy-MM-ddTHH:mm:ssZ");
  u.info.durationSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
  u.info.serial = serial;
  u.info.station = selftest::StationName(profile_);
  u.info.operatorName = operatorName;
  u.info.cardLibrary = dll.library().path();
  u.run = selftest::RecordOf(u.outcome, profile_, u.info);
  return u;
}

bool StationWindow::Keep(Unsaved& u) const {
  // Stored, then reported beside the database: a database that cannot take the run loses
  // nothing, the report is written all the same.
  const std::string database = results::DefaultResultsPath();
  u.stored = u.reported = false;
  if (auto store = results::ResultsStore::Open(database); !store) {
    u.storeFailure = store.failure().reason;
  } else if (auto id = store.value()->Save(u.run); !id) {
    u.storeFailure = id.failure().reason;
  } else {
    u.run.id = u.info.runId = id.value();
    u.stored = true;
  }
  QString started = ToQt(u.info.startedIso8601);
  started.remove('-').remove(':');
  const QDir reports(QFileInfo(ToQt(database)).absolutePath() + "/reports");
  u.reportPath = FromQt(reports.filePath(ToQt(FileSafe(u.info.serial)) + "-" + started + ".json"));
  if (!QDir().mkpath(reports.path())) {
    u.reportFailure = "the folder cannot be made";
  } else if (auto written =
                 base::WriteWholeFile(u.reportPath, selftest::Json(u.outcome, profile_, u.info));
             !written) {
    u.reportFailure = written.failure().reason;
  } else {
    u.reported = true;
  }
  return u.stored || u.reported;
}

void StationWindow::ReadHistory(Finished& f) const {
  auto store = results::ResultsStore::Open(results::DefaultResultsPath());
  if (!store) return;
  f.today = store.value()->Runs({.serial = {}, .since = TodayStartUtc(), .newest = 0}).value_or({});
  f.recent = store.value()->Runs({.serial = {}, .since = {}, .newest = kRecent}).value_or({});
}

void StationWindow::StopTest() {
  if (running()) interrupted_ = true;
}

void StationWindow::WaitForTest() {
  if (history_.joinable()) history_.join();
  if (worker_.joinable()) worker_.join();
  QCoreApplication::sendPostedEvents(this);
}

void StationWindow::ShowProgress(const std::string& check) {
  for (int i = 0; i < checks_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = checks_->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toString() == ToQt(check)) item->setText(1, "进行中");
  }
}

void StationWindow::ShowFinished(Finished& f) {
  if (worker_.joinable()) worker_.join();  // it has posted this as its last act
  runFinished_ = true;
  const selftest::RunRecord& run = f.last.run;
  for (int i = 0; i < checks_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = checks_->topLevelItem(i);
    const std::string name = FromQt(item->data(0, Qt::UserRole).toString());
    item->setText(1, "未运行");
    for (const selftest::Check& c : run.checks) {
      if (c.name != name) continue;
      ShowVerdict(item, c.passed);
      const selftest::CheckLine line = selftest::CheckLineOf(c);
      item->setText(2, ToQt(line.measured));
      item->setText(3, ToQt(line.limits));
      item->setToolTip(2, ToQt(c.detail));
      // Every figure under its check, for the operator who opens it.
      for (const selftest::Measurement& m : c.measurements) {
        auto* figure = new QTreeWidgetItem(
            item, {ToQt(selftest::MeasurementTitle(m.name)), QString(),
                   ToQt(selftest::ValueText(m.value, m.unit)), ToQt(selftest::LimitsText(m))});
        ShowVerdict(figure, m.passed);
      }
    }
  }
  for (int column = 0; column < 3; ++column) checks_->resizeColumnToContents(column);
  const QString serial = ToQt(run.info.serial);
  if (!f.tested) {
    SetBanner("结果未保存", "#bc4c00");
  } else if (run.verdict == "PASS") {
    SetBanner("通过  " + serial, "#1a7f37");
  } else if (run.verdict == "FAIL") {
    SetBanner("失败  " + serial + "\n" + ToQt(selftest::CheckTitle(run.FirstFailure())), "#cf222e");
  } else if (run.verdict == "ABORTED") {
    SetBanner("中止  " + serial, "#6e7781");
  } else {
    SetBanner("无法运行  " + serial, "#6e7781");
  }
  QStringList problems;
  if (f.tested && run.verdict == "NOT RUN") problems << "无法加载板卡库: " + ToQt(run.whyNot);
  if (f.tested && f.unsaved.empty() && !f.last.stored) {
    problems << "结果未存入数据库: " + ToQt(f.last.storeFailure) +
                    "；报告已保存: " + ToQt(f.last.reportPath);
  }
  if (!f.unsaved.empty()) {
    const Unsaved& u = f.unsaved.back();
    problems << QString("%1 次测试的结果未能保存（数据库: %2；报告 %3: %4）。")
                    .arg(f.unsaved.size())
                    .arg(ToQt(u.storeFailure), ToQt(u.reportPath), ToQt(u.reportFailure));
    problems << (f.tested
                     ? QString("结果暂存在本程序中，下次扫描时先保存；保存之前不测试新的板卡。")
                     : QString("序列号 %1 未开始测试：请排除故障后重新扫描。").arg(ToQt(running_)));
  }
  ShowMessage(problems.join("\n"), !problems.isEmpty());
  ShowHistory(f.today, f.recent);
  unsaved_ = std::move(f.unsaved);
  running_.clear();
  start_->setEnabled(true);
  stop_->setEnabled(false);
  serial_->selectAll();  // the next scan replaces it
  serial_->setFocus();
}

void StationWindow::ShowHistory(const std::vector<selftest::RunRecord>& today,
                                const std::vector<selftest::RunRecord>& recent) {
  size_t passed = 0;
  for (const auto& run : today) passed += run.verdict == "PASS" ? 1 : 0;
  today_->setText(today.empty() ? QString("今日: 0 次")
                                : QString("今日: %1 次，通过 %2 次，合格率 %3%")
                                      .arg(today.size())
                                      .arg(passed)
                                      .arg(100.0 * passed / today.size(), 0, 'f', 1));
  recent_->setRowCount(static_cast<int>(recent.size()));
  recent_->verticalHeader()->hide();
  for (size_t i = 0; i < recent.size(); ++i) {
    const auto& run = recent[recent.size() - 1 - i];  // newest first
    const QString cells[] = {LocalTime(run.info.startedIso8601), ToQt(run.info.serial),
                             ToQt(selftest::VerdictTitle(run.verdict)),
                             ToQt(selftest::CheckTitle(run.FirstFailure()))};
    for (int c = 0; c < 4; ++c) {
      recent_->setItem(static_cast<int>(i), c, new QTableWidgetItem(cells[c]));
    }
  }
  recent_->resizeColumnsToContents();
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    StopTest();
    return;
  }
  QWidget::keyPressEvent(event);
}

void StationWindow::closeEvent(QCloseEvent* event) {
  // The card is stopped and its outputs cleared before the station goes.
  interrupted_ = true;
  WaitForTest();
  // Runs nothing could keep go to standard error, the last place left (a journal keeps it).
  for (const Unsaved& u : unsaved_) {
    std::fprintf(stderr, "kzb7310: 测试结果未保存 result NOT saved: %s\n%s\n",
                 u.info.serial.c_str(), selftest::Json(u.outcome, profile_, u.info).c_str());
  }
  event->accept();
}
