#include "StationText.h"

#include <QDateTime>
#include <cmath>

#include "CauseText.h"
#include "LineStore.h"
#include "MeasurementText.h"
#include "WidgetText.h"

namespace {

QString Percent(int part, int whole) {
  return QString::number(100.0 * part / whole, 'f', 1) + "%";
}

}  // namespace

std::string TodayStartUtc() {
  return QDateTime(QDate::currentDate(), QTime(0, 0))
      .toUTC()
      .toString("yyyy-MM-ddTHH:mm:ssZ")
      .toStdString();
}

QString LocalTime(const std::string& iso8601Utc) {
  return QDateTime::fromString(ToQt(iso8601Utc), Qt::ISODate)
      .toLocalTime()
      .toString("yyyy-MM-dd HH:mm:ss");
}

QString ShownSerial(const std::string& serial) {
  const QString text = ToQt(serial);
  return text.size() <= 40 ? text : text.left(24) + "…" + text.right(12);
}

QString Reason(base::Failure::Cause cause, const std::string& reason) {
  return ToQt(base::ReasonInChinese(cause, reason));
}
QString Reason(const production::Landing& landing) {
  return Reason(landing.cause, landing.failure);
}
QString Reason(const std::optional<base::Failure>& failure) {
  return failure ? ReasonText(*failure) : QString();
}

QString TodayText(const selftest::Yield& y) {
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

QString HeldText(int held, const std::string& heldPath,
                 const std::optional<base::Failure>& failure) {
  QString text = QString("%1 次测试的结果暂存在 %2，尚未存入数据库；每次扫描时重试。")
                     .arg(held)
                     .arg(ToQt(heldPath));
  if (failure) text += " " + Reason(failure);
  return text;
}

QStringList KeepingProblems(const production::ShiftRun& f, const production::StationShift& shift,
                            const std::string& serial) {
  QStringList problems;
  const production::KeptRun& last = f.last;
  const QString report = ToQt(shift.PlacesOf(last.run).jsonReport);
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
  if (f.held > 0) problems << HeldText(f.held, shift.heldPath(), f.heldFailure);
  if (!f.unsaved.empty()) {
    const production::KeptRun& u = f.unsaved.back();
    problems << QString("%1 次测试的结果未能保存（数据库: %2；暂存: %3；报告 %4: %5）。")
                    .arg(f.unsaved.size())
                    .arg(Reason(u.stored), Reason(u.held), ToQt(shift.PlacesOf(u.run).jsonReport),
                         Reason(u.json));
    problems
        << (f.tested
                ? QString("结果暂存在本程序中，下次扫描时先保存；保存之前不测试新的板卡。")
                : QString("序列号 %1 未开始测试：请排除故障后重新扫描。").arg(ShownSerial(serial)));
  }
  return problems;
}

Banner VerdictBanner(const production::ShiftRun& f) {
  const selftest::RunRecord& run = f.last.run;
  const QString serial = ShownSerial(run.info.serial);
  if (!f.tested) return {"结果未保存", "#bc4c00"};
  const QString unsaved = f.last.stored.done ? QString() : QString("\n结果未保存");
  switch (run.verdict) {
    case selftest::Verdict::Pass:
      return {"通过  " + serial + unsaved, "#1a7f37"};
    case selftest::Verdict::Fail:
      return {"失败  " + serial + "\n" + ToQt(selftest::CheckTitle(run.FirstFailure()->kind)) +
                  (unsaved.isEmpty() ? QString() : "  (结果未保存)"),
              "#cf222e"};
    case selftest::Verdict::Aborted:
      return {"中止  " + serial + unsaved, "#6e7781"};
    case selftest::Verdict::NotRun:
      break;
  }
  return {"无法运行  " + serial + unsaved, "#6e7781"};
}

QString LineText(const production::LineStatus& status, bool& off) {
  using State = production::LineStatus::State;
  QString text;
  switch (status.state) {
    case State::Connecting:
      text = "全线: 连接中…";
      if (status.waiting > 0) text += QString("，待上传 %1 次").arg(status.waiting);
      break;
    case State::Synced:
      text = "全线: 已同步";
      break;
    case State::Waiting:
      text = QString("全线: 待上传 %1 次").arg(status.waiting);
      break;
    case State::NoAnswer:
      text = QString("全线: 无应答，待上传 %1 次 ").arg(status.waiting) +
             Reason(status.cause, status.reason);
      break;
    case State::Unreachable:
      text = "全线: 无法连接 " + Reason(status.cause, status.reason);
      break;
  }
  // A run the line refused is named, with the line's words, until it goes.
  if (!status.setAside.empty()) {
    const results::OutboxRun& first = status.setAside.front();
    text +=
        QString("；全线拒收 %1 次: %2 (%3)")
            .arg(status.setAside.size())
            .arg(ToQt(first.serial.empty() ? std::string("-") : first.serial), ToQt(first.reason));
  }
  const bool clockOff = std::abs(status.clockOffsetSeconds) > line::kClockOffLimitSeconds;
  if (status.state == State::Synced && clockOff) {
    text += QString("，本机时钟与服务器相差 %1 秒").arg(std::lround(status.clockOffsetSeconds));
  }
  off = status.state == State::Unreachable || status.state == State::NoAnswer || clockOff ||
        !status.setAside.empty();
  return text;
}

QString NotStoredText(int held, const std::string& heldPath, size_t unsaved) {
  QString text = QString("%1 次测试的结果尚未存入数据库。").arg(held + unsaved);
  if (held > 0) text += QString("\n%1 次暂存在 %2，下次启动时存入。").arg(held).arg(ToQt(heldPath));
  if (unsaved > 0) text += QString("\n%1 次无处暂存，关闭后只写到标准错误输出。").arg(unsaved);
  return text;
}
