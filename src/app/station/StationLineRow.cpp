#include "StationLineRow.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include "StationText.h"
#include "WidgetText.h"

StationLineRow::StationLineRow(bool hasLine, QWidget* parent)
    : QWidget(parent), line_(new QLabel(this)), retry_(new QPushButton("重试上传", this)) {
  line_->setObjectName("lblLine");
  line_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  line_->setVisible(hasLine);
  retry_->setObjectName("cmdLineRetry");
  retry_->setToolTip("再次上传全线数据库拒收的测试");
  retry_->setFocusPolicy(Qt::TabFocus);
  retry_->setVisible(false);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(line_, 1);
  row->addWidget(retry_);
  setVisible(hasLine);
  if (hasLine) line_->setText("全线: 连接中…");
  connect(retry_, &QPushButton::clicked, this, &StationLineRow::Retry);
}

void StationLineRow::ShowStatus(const production::LineStatus& status) {
  bool off = false;
  line_->setText(LineText(status, off));
  // The tooltip names every run the line refused, with its words.
  QStringList tip;
  if (status.waiting > 0) tip << QString("待上传 %1 次").arg(status.waiting);
  for (const results::OutboxRun& run : status.setAside) {
    tip << "全线拒收: " + ToQt(production::SetAsideName(run));
  }
  line_->setToolTip(tip.join('\n'));
  line_->setStyleSheet(off ? "QLabel { color: #cf222e; }" : "");
  retry_->setVisible(!status.setAside.empty());
  text_ = line_->text();
  tip_ = line_->toolTip();
  Elide();
}

void StationLineRow::Retry() {
  retry_->setVisible(false);
  text_ = "全线: 重试被拒收的测试…";
  Elide();
  emit retryAsked();
}

void StationLineRow::Elide() {
  // Cut at the window's width, never mid-character; the tooltip holds the whole state.
  QString shown = text_;
  if (line_->isVisible()) {
    shown = QFontMetrics(line_->font())
                .elidedText(text_, Qt::ElideRight, line_->contentsRect().width());
  }
  line_->setText(shown);
  line_->setToolTip(shown == text_ ? tip_ : text_ + (tip_.isEmpty() ? "" : "\n" + tip_));
}

void StationLineRow::Refit() {
  if (!text_.isEmpty()) Elide();
}
