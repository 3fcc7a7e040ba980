#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>

#include "CardLibrary.h"
#include "CommandLine.h"
#include "DataDirectory.h"
#include "DataFile.h"
#include "DefaultProfile.h"
#include "FrmMultiBuf.h"
#include "Profile.h"
#include "QtTranslations.h"
#include "SingleInstance.h"
#include "StationWindow.h"
#include "TerminationSignals.h"
#include "WidgetText.h"

namespace {

// Why the window does not open: on standard error and in a message box.
int Refuse(const QString& text) {
  std::fprintf(stderr, "kzb7310: %s\n", qPrintable(text));
  QMessageBox::warning(nullptr, "KZB7310测试及编程源程序", text);
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  CatchTermination();
  WindowChoice choice;
  if (const auto status = RunCommandLine(argc, argv, choice)) return *status;
  QApplication app(argc, argv);
  CloseWindowsOnTermination(&app);
  // The menu entry's icon and name, so that a desktop shows the window under its entry.
  QApplication::setWindowIcon(QIcon(":/kzb7310/icon.png"));
  QApplication::setDesktopFileName("org.kzb7310.Kzb7310");
  if (InstallQtTranslations().isEmpty()) {
    std::fprintf(stderr, "kzb7310: qtbase_zh_CN.qm not found: Qt's own texts stay English\n");
  }

  const std::string cardLibrary = card::DefaultLibraryPath();
  const std::string dataDirectory = acquisition::DefaultDataDirectory();
  SingleInstance instance(cardLibrary, dataDirectory);
  if (instance.state() == SingleInstance::State::AlreadyRuns) {
    return Refuse(QString("KZB7310测试程序已在运行（进程 %1），数据目录: %2\n"
                          "一块板卡同一时间只能由一个程序使用，本程序现在退出。")
                      .arg(ToQt(instance.holderProcess()), ToQt(instance.holderDirectory())));
  }
  if (instance.state() == SingleInstance::State::NoLock) {
    return Refuse(QString("无法确认板卡没有被另一个程序使用，本程序现在退出。\n"
                          "(the card lock cannot be made: %1)")
                      .arg(ToQt(instance.holder())));
  }
  for (const std::string& kept : acquisition::RecoverLeftoverDataFiles(dataDirectory)) {
    std::fprintf(stderr, "kzb7310: 未写完的数据文件已保留 unfinished data file kept: %s\n",
                 kept.c_str());
  }

  if (choice.station) {
    const auto profile = choice.profile.empty()
                             ? selftest::ParseProfile(kDefaultProfile, "simulated-card.ini")
                             : selftest::LoadProfile(choice.profile);
    if (!profile) {
      return Refuse(QString("自检配置无法使用: %1: %2")
                        .arg(ToQt(profile.failure().subject), ToQt(profile.failure().reason)));
    }
    StationWindow station(cardLibrary, profile.value());
    station.show();
    return app.exec();
  }

  FrmMultiBuf window(cardLibrary, dataDirectory);
  window.show();
  int status = app.exec();
  // Data files still on their way get a last chance; what did not land is said, and the
  // exit status says it too.
  for (const std::string& lost : window.FinishDataFiles(acquisition::FileFinisher::kExitWait)) {
    std::fprintf(stderr, "kzb7310: 数据文件未保存 data file NOT saved: %s\n", lost.c_str());
    status = 1;
  }
  return status;
}
