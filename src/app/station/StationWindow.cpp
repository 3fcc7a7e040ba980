#include "StationWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>

#include "CardLibrary.h"
#include "CauseText.h"
#include "DllDef.h"
#include "LineStore.h"
#include "MeasurementText.h"
#include "ReportFormats.h"
#include "ResultsStore.h"
#include "RunClock.h"
#include "SerialPattern.h"
#include "ShownInput.h"
#include "WidgetText.h"
#include "Yield.h"

namespace {

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

// A serial as a message shows it: a long one keeps its start and end.
QString ShownSerial(const std::string& serial) {
  const QString text = ToQt(serial);
  return text.size() <= 40 ? text : text.left(24) + "…" + text.right(12);
}

constexpr int kRecent = 10;

void ShowVerdict(QTreeWidgetItem* item, bool passed) {
  item->setText(1, passed ? "通过" : "失败");
  item->setForeground(1, passed ? QColor("#1a7f37") : QColor("#cf222e"));
}

// A check the operator stopped says nothing of the card.
void ShowInterrupted(QTreeWidgetItem* item) {
  item->setText(1, "中止");
  item->setForeground(1, QColor("#6e7781"));
}

// A system's reason as the operator reads it: what its kind means in Chinese, the system's
// own words in brackets after.
QString Reason(base::Failure::Cause cause, const std::string& reason) {
  return ToQt(base::ReasonInChinese(cause, reason));
}
QString Reason(const production::Landing& landing) {
  return Reason(landing.cause, landing.failure);
}
QString Reason(const std::optional<base::Failure>& failure) {
  return failure ? ReasonText(*failure) : QString();
}

QString Percent(int part, int whole) {
  return QString::number(100.0 * part / whole, 'f', 1) + "%";
}

// One test of a card, off the window's thread: `progress` hears each check as it begins.
selftest::RunRecord TestCard(const std::string& cardLibrary, const selftest::Profile& profile,
                             const selftest::Clock& clock,
                             const std::function<void(selftest::CheckKind)>& progress,
                             std::atomic<bool>& interrupted, const std::string& serial,
                             const std::string& operatorName) {
  const production::RunClock runClock;
  DllDef dll(cardLibrary);
  const selftest::Outcome outcome = selftest::Run(dll, profile, clock, progress, interrupted);
  return runClock.Record(
      outcome, profile,
      {.serial = serial, .operatorName = operatorName, .cardLibrary = dll.library().path()});
}

}  // namespace

// A scan's run and the day's results, as the worker hands them to the window's thread.
struct StationWindow::Finished : production::ShiftRun, production::DayResults {
  std::string libraryFailure;  // the card library would not load at the start
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
      recent_(new QTableWidget(0, 4, this)),
      line_(new QLabel(this)),
      shift_(std::make_unique<production::StationShift>(production::ShiftPlaces{})) {
  setObjectName("StationWindow");
  setWindowTitle("KZB7310生产测试");
  SetUpControls();
  LayOut();
  connect(serial_, &QLineEdit::returnPressed, this, &StationWindow::StartTest);
  connect(start_, &QPushButton::clicked, this, &StationWindow::StartTest);
  connect(stop_, &QPushButton::clicked, this, &StationWindow::StopTest);
  connect(serial_, &QLineEdit::textEdited, this, &StationWindow::SerialEdited);
  // The operator's name ends with Enter, and the next scan goes to the serial field.
  connect(operator_, &QLineEdit::returnPressed, serial_, [this] { serial_->setFocus(); });
  SetBanner("请扫描序列号", "#6e7781");
  serial_->setFocus();
  // Keys reach the station through the application, so that a scan finds the serial field
  // from wherever the operator last clicked.
  qApp->installEventFilter(this);
  ReadAtStart();
  StartUploader();
}

void StationWindow::StartUploader() {
  line_->setObjectName("lblLine");
  line_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  line_->setVisible(profile_.line.has_value());
  if (!profile_.line) return;
  line_->setText("全线: 连接中…");
  line::LineStore::LoadDriver();  // on the thread that outlives the uploader's
  shift_->StartUploader(*profile_.line, [this](const production::LineStatus& status) {
    QMetaObject::invokeMethod(
        this, [this, status] { ShowLine(status); }, Qt::QueuedConnection);
  });
}

void StationWindow::ShowLine(const production::LineStatus& status) {
  using State = production::LineStatus::State;
  QString text = status.state == State::Synced ? QString("全线: 已同步")
                 : status.state == State::Waiting
                     ? QString("全线: 待上传 %1 次").arg(status.waiting)
                     : "全线: 无法连接 " + Reason(status.cause, status.reason);
  const bool clockOff = std::abs(status.clockOffsetSeconds) > line::kClockOffLimitSeconds;
  if (status.state == State::Synced && clockOff) {
    text += QString("，本机时钟与服务器相差 %1 秒").arg(std::lround(status.clockOffsetSeconds));
  }
  line_->setText(text);
  line_->setToolTip(status.waiting > 0 ? QString("待上传 %1 次").arg(status.waiting) : QString());
  line_->setStyleSheet(status.state == State::Unreachable || clockOff ? "QLabel { color: #cf222e; }"
                                                                      : "");
}

void StationWindow::SetUpControls() {
  banner_->setObjectName("lblBanner");
  banner_->setAlignment(Qt::AlignCenter);
  // However long a serial, the banner and the message never widen the window.
  banner_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
  // A click on a button leaves the focus where it was (the serial field); Tab still reaches
  // them, and Space presses them.
  start_->setFocusPolicy(Qt::TabFocus);
  stop_->setFocusPolicy(Qt::TabFocus);
  stop_->setEnabled(false);
  stop_->setToolTip("停止测试 (Esc)：板卡停止，输出置 0");
  checks_->setObjectName("lstChecks");
  checks_->setHeaderLabels({"检查", "状态", "测量值", "要求"});
  checks_->setRootIsDecorated(true);
  // Wide enough for a figure's name ("通道64 SNR") and every state ("进行中"), whatever the
  // first rows held.
  checks_->header()->setMinimumSectionSize(
      QFontMetrics(checks_->font()).horizontalAdvance("进行中") + 24);
  checks_->setColumnWidth(
      0, QFontMetrics(checks_->font()).horizontalAdvance("通道64 数据块速率") + 48);
  message_->setObjectName("lblMessage");
  message_->setWordWrap(true);
  message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  today_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  today_->setObjectName("lblToday");
  recent_->setObjectName("tblRecent");
  recent_->setHorizontalHeaderLabels({"时间", "序列号", "结论", "第一个失败的检查"});
  recent_->horizontalHeader()->setStretchLastSection(true);
  recent_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  recent_->setFocusPolicy(Qt::NoFocus);
}

void StationWindow::LayOut() {
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
  layout->addWidget(line_);
  layout->addWidget(recent_, 2);
  resize(900, 720);
}

void StationWindow::ReadAtStart() {
  // The day's results from the database, and whether the card library loads, read off the
  // window's thread; the database's driver is loaded here, on the thread that outlives them.
  results::ResultsStore::LoadDriver();
  // The thread touches nothing of the window but the queued call it ends with.
  history_ = std::thread([this, shift = shift_.get(), library = cardLibrary_] {
    Finished f;
    // Runs a last session held go first.
    f.held = shift->StoreHeld(f.heldFailure);
    static_cast<production::DayResults&>(f) = shift->ReadDay(TodayStartUtc(), kRecent);
    if (auto loaded = card::CardLibrary(library).Load(); !loaded) {
      f.libraryFailure = base::ReasonInChinese(loaded.failure());
    }
    QMetaObject::invokeMethod(
        this, [this, f = std::move(f)] { ShowStart(f); }, Qt::QueuedConnection);
  });
}

void StationWindow::ShowStart(const Finished& f) {
  if (!f.libraryFailure.empty() && !runFinished_ && !running()) {  // a scan since speaks for itself
    SetBanner("无法运行", "#6e7781");
    ShowMessage(QString("无法加载板卡库: %1\n%2\n排除故障后扫描序列号即可重试。")
                    .arg(ToQt(cardLibrary_), ToQt(f.libraryFailure)),
                true);
  }
  if (runFinished_) return;  // a run's news is newer
  ShowHistory(f);
  if (f.held > 0 && f.libraryFailure.empty()) ShowMessage(HeldText(f, shift_->heldPath()), true);
}

StationWindow::~StationWindow() {
  qApp->removeEventFilter(this);
  interrupted_ = true;
  if (worker_.joinable()) worker_.join();
  if (history_.joinable()) history_.join();
  shift_->StopUploader();  // no status comes after this
}

void StationWindow::SetBanner(const QString& text, const char* colour) {
  bannerText_ = text;
  bannerColour_ = colour;
  // Each line elided to the banner's width: a long serial never pushes the verdict away.
  QStringList lines = text.split('\n');
  if (banner_->isVisible()) {  // laid out: its width is the window's
    const QFontMetrics metrics(banner_->font());
    for (QString& line : lines) {
      line = metrics.elidedText(line, Qt::ElideMiddle, banner_->width() - 16);
    }
  }
  banner_->setText(lines.join('\n'));
  banner_->setToolTip(text);
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
    ShowMessage(QString("测试进行中 (%1)，序列号 %2 未开始")
                    .arg(ShownSerial(running_), ToQt(base::ShownInput(serial))),
                true);
    serial_->selectAll();  // and a third replaces it, not joins it
    return;
  }
  // A refused serial takes the banner: the last card's verdict must not stand over it.
  if (serial.empty()) {
    bannerSerial_.clear();
    SetBanner("请扫描序列号", "#6e7781");
    ShowMessage("请先扫描序列号", true);
    return;
  }
  if (const auto refusal = selftest::SerialRefusal(profile_.serialPattern, serial)) {
    bannerSerial_ = serial;
    const QString shown = ToQt(base::ShownInput(serial));
    SetBanner("未测试  " + shown + "\n" + ToQt(*refusal), "#bc4c00");
    ShowMessage(QString("序列号 %1 %2，未开始测试").arg(shown, ToQt(*refusal)), true);
    serial_->selectAll();
    return;
  }
  running_ = serial;
  bannerSerial_.clear();
  ShowMessage(QString(), false);
  checks_->clear();
  for (const selftest::CheckKind kind : selftest::PlannedChecks(profile_)) {
    auto* item = new QTreeWidgetItem(checks_, {ToQt(selftest::CheckTitle(kind)), "等待"});
    item->setData(0, Qt::UserRole, static_cast<int>(kind));
  }
  SetBanner("测试中… " + ShownSerial(serial), "#0969da");
  serial_->selectAll();  // a serial scanned during the test replaces it, not joins it
  start_->setEnabled(false);
  stop_->setEnabled(true);
  interrupted_ = false;
  const std::string operatorName = FromQt(operator_->text().trimmed());
  // The worker stores only once the start's thread has: the store is one thread's at a
  // time. It calls nothing of the window; what it shows goes by queued calls.
  worker_ =
      std::thread([this, shift = shift_.get(), start = std::move(history_), library = cardLibrary_,
                   profile = profile_, clock = clock_, interrupted = &interrupted_, serial,
                   operatorName, unsaved = std::move(unsaved_)]() mutable {
        if (start.joinable()) start.join();
        const auto progress = [this](selftest::CheckKind check) {
          QMetaObject::invokeMethod(
              this, [this, check] { ShowProgress(check); }, Qt::QueuedConnection);
        };
        Finished f;
        static_cast<production::ShiftRun&>(f) = shift->Run(std::move(unsaved), [&] {
          return TestCard(library, profile, clock, progress, *interrupted, serial, operatorName);
        });
        static_cast<production::DayResults&>(f) = shift->ReadDay(TodayStartUtc(), kRecent);
        QMetaObject::invokeMethod(
            this, [this, f = std::move(f)]() mutable { ShowFinished(f); }, Qt::QueuedConnection);
      });
  unsaved_.clear();
}

QString StationWindow::HeldText(const Finished& f, const std::string& heldPath) {
  QString text = QString("%1 次测试的结果暂存在 %2，尚未存入数据库；每次扫描时重试。")
                     .arg(f.held)
                     .arg(ToQt(heldPath));
  if (f.heldFailure) text += " " + Reason(f.heldFailure);
  return text;
}

void StationWindow::StopTest() {
  if (running()) interrupted_ = true;
}

void StationWindow::WaitForTest() {
  if (history_.joinable()) history_.join();
  if (worker_.joinable()) worker_.join();
  QCoreApplication::sendPostedEvents(this);
}

void StationWindow::ShowProgress(selftest::CheckKind check) {
  // The check now running; the one before it has ended (its verdict comes with the run's).
  for (int i = 0; i < checks_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = checks_->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toInt() == static_cast<int>(check)) {
      item->setText(1, "进行中");
    } else if (item->text(1) == "进行中") {
      item->setText(1, "已完成");
    }
  }
}

// Each check's row with its verdict, figures and limits; a check the run never reached
// says so.
void StationWindow::ShowChecks(const selftest::RunRecord& run) {
  const bool aborted = run.verdict == selftest::Verdict::Aborted;
  for (int i = 0; i < checks_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = checks_->topLevelItem(i);
    item->setText(1, "未运行");
    item->setForeground(1, QColor("#6e7781"));
    for (const selftest::Check& c : run.checks) {
      if (static_cast<int>(c.kind) != item->data(0, Qt::UserRole).toInt()) continue;
      if (aborted && !c.passed) {
        ShowInterrupted(item);
      } else {
        ShowVerdict(item, c.passed);
      }
      const selftest::CheckLine line = selftest::CheckLineOf(c);
      item->setText(2, ToQt(line.measured));
      item->setText(3, ToQt(line.limits));
      item->setToolTip(2, ToQt(selftest::DetailText(c.detail)));
      // Every figure under its check, for the operator who opens it.
      for (const selftest::Measurement& m : c.measurements) {
        auto* figure = new QTreeWidgetItem(
            item, {ToQt(selftest::MeasurementTitle(m.id)), QString(),
                   ToQt(selftest::ValueText(m.value, m.unit)), ToQt(selftest::LimitsText(m))});
        ShowVerdict(figure, m.passed);
      }
    }
  }
  checks_->resizeColumnToContents(2);
}

// What the operator must know of the run's keeping: what could not be stored, written or
// held, and what waits.
QStringList StationWindow::Problems(const Finished& f) const {
  QStringList problems;
  const Unsaved& last = f.last;
  const QString report = ToQt(shift_->PlacesOf(last.run).jsonReport);
  if (f.tested && last.run.verdict == selftest::Verdict::NotRun) {
    problems << "无法加载板卡库: " + ToQt(last.run.whyNot);
  }
  if (f.tested && !last.stored.done) {
    problems << "结果未存入数据库: " + Reason(last.stored);
  }
  if (f.tested && last.json.done && !last.stored.done) problems << "报告已保存: " + report;
  if (f.tested && !last.json.done) {
    problems << QString("报告未写入: %1 %2").arg(report, Reason(last.json));
  }
  if (f.held > 0) problems << HeldText(f, shift_->heldPath());
  if (!f.unsaved.empty()) {
    const Unsaved& u = f.unsaved.back();
    problems << QString("%1 次测试的结果未能保存（数据库: %2；暂存: %3；报告 %4: %5）。")
                    .arg(f.unsaved.size())
                    .arg(Reason(u.stored), Reason(u.held), ToQt(shift_->PlacesOf(u.run).jsonReport),
                         Reason(u.json));
    problems << (f.tested
                     ? QString("结果暂存在本程序中，下次扫描时先保存；保存之前不测试新的板卡。")
                     : QString("序列号 %1 未开始测试：请排除故障后重新扫描。")
                           .arg(ShownSerial(running_)));
  }
  return problems;
}

void StationWindow::ShowFinished(Finished& f) {
  if (worker_.joinable()) worker_.join();  // it has posted this as its last act
  runFinished_ = true;
  ShowChecks(f.last.run);
  ShowBanner(f);
  QStringList problems = Problems(f);
  // A serial scanned while the card was under test was not tested: the field gets back the
  // serial the banner speaks of, and the one left out is named until the next scan.
  if (const QString scanned = serial_->text().trimmed(); scanned != ToQt(running_)) {
    if (!scanned.isEmpty()) {
      problems << QString("序列号 %1 在测试中扫描，未测试：请重新扫描。")
                      .arg(ShownSerial(FromQt(scanned)));
    }
    serial_->setText(ToQt(running_));
  }
  ShowMessage(problems.join("\n"), !problems.isEmpty());
  ShowHistory(f);
  unsaved_ = std::move(f.unsaved);
  running_.clear();
  start_->setEnabled(true);
  stop_->setEnabled(false);
  serial_->selectAll();  // the next scan replaces it
  serial_->setFocus();
}

// The run's verdict, and on its own banner whether its result is kept.
void StationWindow::ShowBanner(const Finished& f) {
  const selftest::RunRecord& run = f.last.run;
  const QString serial = ShownSerial(run.info.serial);
  if (!f.tested) {
    SetBanner("结果未保存", "#bc4c00");
    return;
  }
  bannerSerial_ = run.info.serial;
  const QString unsaved = f.last.stored.done ? QString() : QString("\n结果未保存");
  switch (run.verdict) {
    case selftest::Verdict::Pass:
      SetBanner("通过  " + serial + unsaved, "#1a7f37");
      break;
    case selftest::Verdict::Fail:
      SetBanner("失败  " + serial + "\n" + ToQt(selftest::CheckTitle(run.FirstFailure()->kind)) +
                    (unsaved.isEmpty() ? QString() : "  (结果未保存)"),
                "#cf222e");
      break;
    case selftest::Verdict::Aborted:
      SetBanner("中止  " + serial + unsaved, "#6e7781");
      break;
    case selftest::Verdict::NotRun:
      SetBanner("无法运行  " + serial + unsaved, "#6e7781");
      break;
  }
}

void StationWindow::ShowHistory(const Finished& f) {
  if (f.historyFailure) {
    today_->setText("今日: 无法读取结果数据库 " + Reason(f.historyFailure));
    today_->setStyleSheet("QLabel { color: #cf222e; }");
    return;
  }
  today_->setStyleSheet("");
  today_->setText(TodayText(selftest::YieldOf(f.today)));
  const std::vector<selftest::RunRecord>& recent = f.recent;
  // A run is marked a retest when the day's yield counts it as one: the marks are taken over
  // the day's runs, not over the few in view; an older run carries none.
  const std::vector<bool> todaysRetests = selftest::Retests(f.today);
  std::set<std::string> retests;
  for (size_t i = 0; i < f.today.size(); ++i) {
    if (todaysRetests[i]) retests.insert(f.today[i].id);
  }
  recent_->setRowCount(static_cast<int>(recent.size()));
  recent_->verticalHeader()->hide();
  for (size_t i = 0; i < recent.size(); ++i) {
    const size_t k = recent.size() - 1 - i;  // newest first
    const auto& run = recent[k];
    const QString verdict =
        ToQt(selftest::VerdictTitle(run.verdict)) + (retests.count(run.id) ? " (复测)" : "");
    const selftest::Check* failed = run.FirstFailure();
    const QString cells[] = {LocalTime(run.info.startedIso8601), ShownSerial(run.info.serial),
                             verdict, failed ? ToQt(selftest::CheckTitle(failed->kind)) : ""};
    for (int c = 0; c < 4; ++c) {
      recent_->setItem(static_cast<int>(i), c, new QTableWidgetItem(cells[c]));
    }
    recent_->item(static_cast<int>(i), 1)->setToolTip(ToQt(run.info.serial));
  }
  recent_->resizeColumnsToContents();
}

QString StationWindow::TodayText(const selftest::Yield& y) {
  QString text = QString("今日: %1 次").arg(y.runs);
  if (y.units > 0) {
    text += QString("，%1 块板卡，一次通过率 %2，最终合格率 %3")
                .arg(y.units)
                .arg(Percent(y.firstPass, y.units), Percent(y.finalPass, y.units));
  }
  if (y.retested > 0) text += QString("，复测 %1 块").arg(y.retested);
  if (y.aborted > 0) text += QString("，中止 %1 次").arg(y.aborted);
  if (y.notRun > 0) text += QString("，无法运行 %1 次").arg(y.notRun);
  return text;
}

bool StationWindow::IsScanKey(QObject* watched, const QKeyEvent& key) const {
  auto* widget = qobject_cast<QWidget*>(watched);
  // A dialog or a popup keeps its keys.
  if (!widget || widget->window() != this || QApplication::activeModalWidget() ||
      QApplication::activePopupWidget()) {
    return false;
  }
  // Only where the key first lands, not on its way up to the parents, and never where the
  // operator types: the serial field itself, the operator's name.
  QWidget* focus = focusWidget();
  if (widget != (focus ? focus : this) || qobject_cast<QLineEdit*>(focus)) return false;
  if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) return true;
  if (key.key() == Qt::Key_Space && qobject_cast<QAbstractButton*>(focus)) return false;
  return !key.text().isEmpty() && key.text().at(0).isPrint();
}

bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !IsScanKey(watched, *static_cast<QKeyEvent*>(event))) {
    return QWidget::eventFilter(watched, event);
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  // A new scan replaces what the field held; its next keys come here of themselves.
  serial_->setFocus();
  serial_->selectAll();
  QKeyEvent moved(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                  key->count());
  QCoreApplication::sendEvent(serial_, &moved);
  return true;
}

void StationWindow::SerialEdited(const QString& text) {
  if (running() || bannerSerial_.empty() || FromQt(text.trimmed()) == bannerSerial_) return;
  bannerSerial_.clear();
  SetBanner(text.trimmed().isEmpty() ? QString("请扫描序列号") : QString("未测试"), "#6e7781");
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
  // Runs on no disk get one more try at a held copy, for the next start.
  unsaved_ = shift_->KeepLeft(std::move(unsaved_));
  if (!CloseWithHeldRuns()) {
    interrupted_ = false;
    event->ignore();
    return;
  }
  // Runs not on the line yet go at the next start; they are named for whoever looks.
  if (const auto waiting = shift_->StopUploader()) {
    for (const std::string& run : *waiting) {
      std::fprintf(stderr, "kzb7310: 尚未上传到全线数据库 not on the line yet: %s\n", run.c_str());
    }
  }
  // Runs nothing could keep go to standard error, the last place left (a journal keeps it).
  for (const Unsaved& u : unsaved_) {
    std::fprintf(stderr, "kzb7310: 测试结果未保存 result NOT saved: %s\n%s\n",
                 u.run.info.serial.c_str(), selftest::Json(u.run).c_str());
  }
  event->accept();
}

bool StationWindow::CloseWithHeldRuns() {
  const int held = shift_->CountHeld();
  if (held == 0 && unsaved_.empty()) return true;
  QString text = QString("%1 次测试的结果尚未存入数据库。").arg(held + unsaved_.size());
  if (held > 0)
    text += QString("\n%1 次暂存在 %2，下次启动时存入。").arg(held).arg(ToQt(shift_->heldPath()));
  if (!unsaved_.empty()) {
    text += QString("\n%1 次无处暂存，关闭后只写到标准错误输出。").arg(unsaved_.size());
  }
  QMessageBox box(QMessageBox::Warning, windowTitle(), text + "\n\n仍要关闭吗？",
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setObjectName("boxCloseWithHeldRuns");
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void StationWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SetBanner(bannerText_, bannerColour_);
}
