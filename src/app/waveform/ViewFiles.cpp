#include "ViewFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include "WholeFile.h"
#include "WidgetText.h"

QString WriteViewPicture(QWidget* view, const QString& caption, const QString& path) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QPixmap picture = view->grab();
  {
    // The picture says which block it shows, as the CSV does.
    QPainter p(&picture);
    p.setPen(Qt::darkGray);
    p.drawText(QRect(8, 2, picture.width() - 16, 20), Qt::AlignRight | Qt::AlignVCenter, caption);
  }
  picture.save(&buffer, "PNG");
  const auto written = base::WriteWholeFile(FromQt(path), png.toStdString());
  return written ? QString() : ToQt(written.failure().reason);
}

void ChooseAndSave(QWidget* parent, QString& folder, const QString& title, const QString& name,
                   const QString& filter, const std::function<QString(const QString&)>& save) {
  const QString path =
      QFileDialog::getSaveFileName(parent, title, QDir(folder).filePath(name), filter);
  if (path.isEmpty()) return;
  folder = QFileInfo(path).absolutePath();
  if (const QString error = save(path); !error.isEmpty()) {
    QMessageBox::warning(parent, title, "写入失败: " + path + "\n" + error);
  }
}
