#include "StationViews.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QTreeWidget>
#include <set>
#include <string>

#include "MeasurementText.h"
#include "StationText.h"
#include "WidgetText.h"
#include "Yield.h"

namespace {

void ShowVerdict(QTreeWidgetItem* item, bool passed) {
  item->setText(1, passed ? "通过" : "失败");
  item->setForeground(1, passed ? QColor("#1a7f37") : QColor("#cf222e"));
}

// A check the operator stopped says nothing of the card.
void ShowInterrupted(QTreeWidgetItem* item) {
  item->setText(1, "中止");
  item->setForeground(1, QColor("#6e7781"));
}

}  // namespace

void SetUpChecks(QTreeWidget* checks) {
  checks->setObjectName("lstChecks");
  checks->setHeaderLabels({"检查", "状态", "测量值", "要求"});
  checks->setRootIsDecorated(true);
  // Wide enough for a figure's name ("通道64 SNR") and every state ("进行中"), whatever the
  // first rows held.
  checks->header()->setMinimumSectionSize(QFontMetrics(checks->font()).horizontalAdvance("进行中") +
                                          24);
  checks->setColumnWidth(0,
                         QFontMetrics(checks->font()).horizontalAdvance("通道64 数据块速率") + 48);
}

void ListChecks(QTreeWidget* checks, const selftest::Profile& profile) {
  checks->clear();
  for (const selftest::CheckKind kind : selftest::PlannedChecks(profile)) {
    auto* item = new QTreeWidgetItem(checks, {ToQt(selftest::CheckTitle(kind)), "等待"});
    item->setData(0, Qt::UserRole, static_cast<int>(kind));
  }
}

void MarkRunning(QTreeWidget* checks, selftest::CheckKind check) {
  for (int i = 0; i < checks->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = checks->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toInt() == static_cast<int>(check)) {
      item->setText(1, "进行中");
    } else if (item->text(1) == "进行中") {
      item->setText(1, "已完成");
    }
  }
}

void ShowChecks(QTreeWidget* checks, const selftest::RunRecord& run) {
  const bool aborted = run.verdict == selftest::Verdict::Aborted;
  for (int i = 0; i < checks->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = checks->topLevelItem(i);
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
  checks->resizeColumnToContents(2);
}

void SetUpRecent(QTableWidget* recent) {
  recent->setObjectName("tblRecent");
  recent->setHorizontalHeaderLabels({"时间", "序列号", "结论", "第一个失败的检查"});
  recent->horizontalHeader()->setStretchLastSection(true);
  recent->setEditTriggers(QAbstractItemView::NoEditTriggers);
  recent->setFocusPolicy(Qt::NoFocus);
}

void ShowRecent(QTableWidget* table, const std::vector<selftest::RunRecord>& today,
                const std::vector<selftest::RunRecord>& recent) {
  // A run is marked a retest when the day's yield counts it as one: the marks are taken over
  // the day's runs, not over the few in view; an older run carries none.
  const std::vector<bool> todaysRetests = selftest::Retests(today);
  std::set<std::string> retests;
  for (size_t i = 0; i < today.size(); ++i) {
    if (todaysRetests[i]) retests.insert(today[i].id);
  }
  table->setRowCount(static_cast<int>(recent.size()));
  table->verticalHeader()->hide();
  for (size_t i = 0; i < recent.size(); ++i) {
    const size_t k = recent.size() - 1 - i;  // newest first
    const auto& run = recent[k];
    const QString verdict =
        ToQt(selftest::VerdictTitle(run.verdict)) + (retests.count(run.id) ? " (复测)" : "");
    const selftest::Check* failed = run.FirstFailure();
    const QString cells[] = {LocalTime(run.info.startedIso8601), ShownSerial(run.info.serial),
                             verdict, failed ? ToQt(selftest::CheckTitle(failed->kind)) : ""};
    for (int c = 0; c < 4; ++c) {
      table->setItem(static_cast<int>(i), c, new QTableWidgetItem(cells[c]));
    }
    table->item(static_cast<int>(i), 1)->setToolTip(ToQt(run.info.serial));
  }
  table->resizeColumnsToContents();
}
