#include "StationWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "CardLibrary.h"
#include "CauseText.h"
#include "LineStore.h"
#include "ReportFormats.h"
#include "ResultsStore.h"
#include "ScanKeys.h"
#include "SerialPattern.h"
#include "ShownInput.h"
#include "StationLineRow.h"
#include "StationRuleLine.h"
#include "StationText.h"
#include "StationViews.h"
#include "WidgetText.h"
#include "Yield.h"

namespace {

constexpr int kRecent = 10;  // the last runs in view

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
      line_(new StationLineRow(profile_.line.has_value(), this)),
      shift_(std::make_unique<production::StationShift>(production::ShiftPlaces{})) {
  setObjectName("StationWindow");
  setWindowTitle("KZB7310生产测试");
  SetUpControls();
  LayOut();
  connect(serial_, &QLineEdit::returnPressed, this, &StationWindow::StartTest);
  connect(start_, &QPushButton::clicked, this, &StationWindow::StartTest);
  connect(stop_, &QPushButton::clicked, this, &StationWindow::StopTest);
  connect(line_, &StationLineRow::retryAsked, this, [this] { shift_->RetrySetAside(); });
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
  if (!profile_.line) return;
  line::LineStore::LoadDriver();  // on the thread that outlives the uploader's
  shift_->StartUploader(*profile_.line, [this](const production::LineStatus& status) {
    QMetaObject::invokeMethod(
        this,
        [this, status] {
          line_->ShowStatus(status);
          if (rules_ && status.state == production::LineStatus::State::Synced) rules_->Check();
        },
        Qt::QueuedConnection);
  });
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
  SetUpChecks(checks_);
  message_->setObjectName("lblMessage");
  message_->setWordWrap(true);
  message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  today_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  today_->setObjectName("lblToday");
  SetUpRecent(recent_);
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
  if (profile_.line) {
    rules_ = new StationRuleLine(*profile_.line, selftest::StationName(profile_), this);
    layout->addWidget(rules_);
  }
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
  if (f.held > 0 && f.libraryFailure.empty())
    ShowMessage(HeldText(f.held, shift_->heldPath(), f.heldFailure), true);
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

// A scan that cannot start a test now says why: a card under test, no serial, or one the
// profile's pattern refuses.
bool StationWindow::RefuseScan(const std::string& serial) {
  if (running()) {
    // A scanner that sends a second serial while a card is under test: that one waits.
    ShowMessage(QString("测试进行中 (%1)，序列号 %2 未开始")
                    .arg(ShownSerial(running_), ToQt(base::ShownInput(serial))),
                true);
    serial_->selectAll();  // and a third replaces it, not joins it
    return true;
  }
  // A refused serial takes the banner: the last card's verdict must not stand over it.
  if (serial.empty()) {
    bannerSerial_.clear();
    SetBanner("请扫描序列号", "#6e7781");
    ShowMessage("请先扫描序列号", true);
    return true;
  }
  if (const auto refusal = selftest::SerialRefusal(profile_.serialPattern, serial)) {
    bannerSerial_ = serial;
    const QString shown = ToQt(base::ShownInput(serial));
    SetBanner("未测试  " + shown + "\n" + ToQt(*refusal), "#bc4c00");
    ShowMessage(QString("序列号 %1 %2，未开始测试").arg(shown, ToQt(*refusal)), true);
    serial_->selectAll();
    return true;
  }
  return false;
}

void StationWindow::StartTest() {
  const std::string serial = FromQt(serial_->text().trimmed());
  if (RefuseScan(serial)) return;
  running_ = serial;
  bannerSerial_.clear();
  ShowMessage(QString(), false);
  ListChecks(checks_, profile_);
  SetBanner("测试中… " + ShownSerial(serial), "#0969da");
  serial_->selectAll();  // a serial scanned during the test replaces it, not joins it
  start_->setEnabled(false);
  stop_->setEnabled(true);
  interrupted_ = false;
  const std::string operatorName = FromQt(operator_->text().trimmed());
  // The worker stores only once the start's thread and the last worker (which may still be
  // reading the day) have: the store is one thread's at a time. It calls nothing of the
  // window; what it shows goes by queued calls.
  worker_ = std::thread([this, shift = shift_.get(), start = std::move(history_),
                         last = std::move(worker_), library = cardLibrary_, profile = profile_,
                         clock = clock_, interrupted = &interrupted_, serial, operatorName,
                         unsaved = std::move(unsaved_)]() mutable {
    if (start.joinable()) start.join();
    if (last.joinable()) last.join();
    const auto progress = [this](selftest::CheckKind check) {
      QMetaObject::invokeMethod(
          this, [this, check] { MarkRunning(checks_, check); }, Qt::QueuedConnection);
    };
    Finished f;
    static_cast<production::ShiftRun&>(f) = shift->Run(std::move(unsaved), [&] {
      return production::TestCard(
          library, profile, clock, progress, *interrupted,
          {.serial = serial, .operatorName = operatorName, .cardLibrary = {}});
    });
    QMetaObject::invokeMethod(
        this, [this, f = std::move(f)]() mutable { ShowFinished(f); }, Qt::QueuedConnection);
    // The day's count and list after the verdict: reading them never holds it up.
    QMetaObject::invokeMethod(
        this, [this, day = shift->ReadDay(TodayStartUtc(), kRecent)] { ShowHistory(day); },
        Qt::QueuedConnection);
  });
  unsaved_.clear();
}

void StationWindow::StopTest() {
  if (running()) interrupted_ = true;
}

void StationWindow::WaitForTest() {
  if (history_.joinable()) history_.join();
  if (worker_.joinable()) worker_.join();
  QCoreApplication::sendPostedEvents(this);
}

void StationWindow::ShowHistory(const production::DayResults& f) {
  if (f.historyFailure) {
    today_->setText("今日: 无法读取结果数据库 " + Reason(f.historyFailure));
    today_->setStyleSheet("QLabel { color: #cf222e; }");
    return;
  }
  today_->setStyleSheet("");
  today_->setText(TodayText(selftest::YieldOf(f.today)));
  ShowRecent(recent_, f.today, f.recent);
}

void StationWindow::ShowFinished(Finished& f) {
  runFinished_ = true;
  ShowChecks(checks_, f.last.run);
  ShowBanner(f);
  QStringList problems = KeepingProblems(f, *shift_, running_);
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
  unsaved_ = std::move(f.unsaved);
  running_.clear();
  start_->setEnabled(true);
  stop_->setEnabled(false);
  serial_->selectAll();  // the next scan replaces it
  serial_->setFocus();
}

// The run's verdict, and on its own banner whether its result is kept.
void StationWindow::ShowBanner(const Finished& f) {
  const Banner banner = VerdictBanner(f);
  if (f.tested) bannerSerial_ = f.last.run.info.serial;
  SetBanner(banner.text, banner.colour);
}

bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress ||
      !IsScanKey(this, watched, *static_cast<QKeyEvent*>(event))) {
    return QWidget::eventFilter(watched, event);
  }
  MoveScanKey(serial_, *static_cast<QKeyEvent*>(event));
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
    for (const std::string& run : shift_->SetAside()) {
      std::fprintf(stderr, "kzb7310: 全线数据库拒收 refused by the line: %s\n", run.c_str());
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
  const QString text = NotStoredText(held, shift_->heldPath(), unsaved_.size());
  QMessageBox box(QMessageBox::Warning, windowTitle(), text + "\n\n仍要关闭吗？",
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setObjectName("boxCloseWithHeldRuns");
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void StationWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SetBanner(bannerText_, bannerColour_);
  line_->Refit();
}
