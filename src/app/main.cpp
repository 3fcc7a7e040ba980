#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "CommandLine.h"
#include "DataFile.h"
#include "FrmMultiBuf.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "WidgetText.h"

int main(int argc, char* argv[]) {
  if (const auto status = RunCommandLine(argc, argv)) return *status;
  QApplication app(argc, argv);
  CloseWindowsOnTermination(&app);

  const std::string dataDirectory = acquisition::DefaultDataDirectory();
  SingleInstance instance(dataDirectory);
  if (instance.state() == SingleInstance::State::AlreadyRuns) {
    const QStringList holder = ToQt(instance.holder()).split('\n');
    const QString text = QString(
                             "KZB7310测试程序已在运行（进程 %1），数据目录: %2\n"
                             "一块板卡同一时间只能由一个程序使用，本程序现在退出。")
                             .arg(holder.value(0), holder.value(1));
    std::fprintf(stderr, "kzb7310: %s\n", qPrintable(text));
    QMessageBox::warning(nullptr, "KZB7310测试及编程源程序", text);
    return 1;
  }
  if (instance.state() == SingleInstance::State::NoLock) {
    std::fprintf(stderr, "kzb7310: no single-instance lock: %s\n", instance.holder().c_str());
  }
  acquisition::RemoveLeftoverTemporaryFiles(dataDirectory);

  FrmMultiBuf window(card::DefaultLibraryPath(), dataDirectory);
  window.show();
  return app.exec();
}
