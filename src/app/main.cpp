#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <optional>

#include "CardLibrary.h"
#include "CommandLine.h"
#include "DataDirectory.h"
#include "DataFile.h"
#include "FrmMultiBuf.h"
#include "LineMonitorWindow.h"
#include "LineStore.h"
#include "QtTranslations.h"
#include "RecordCommand.h"
#include "RecordingViewer.h"
#include "SingleInstance.h"
#include "StationProfile.h"
#include "StationWindow.h"
#include "TerminationSignals.h"
#include "WidgetText.h"

namespace {

// Why the window does not open: on standard error and in a message box.
// Said on standard error and in a box under the title of the window that will not open.
int Refuse(const QString& title, const QString& text) {
  std::fprintf(stderr, "kzb7310: %s\n", qPrintable(text));
  QMessageBox::warning(nullptr, title, text);
  return 1;
}

// Another program holding the card, or a lock that cannot be made, keeps the window shut.
std::optional<int> RefusedTheCard(const SingleInstance& instance, const QString& title) {
  if (instance.state() == SingleInstance::State::AlreadyRuns) {
    return Refuse(title, ToQt(CardInUseText(instance)) +
                             "\n一块板卡同一时间只能由一个程序使用，本程序现在退出。");
  }
  if (instance.state() == SingleInstance::State::NoLock) {
    return Refuse(title, QString("无法确认板卡没有被另一个程序使用，本程序现在退出。\n"
                                 "(the card lock cannot be made: %1)")
                             .arg(ToQt(instance.holder())));
  }
  return std::nullopt;
}

// A recording on view touches no card: the viewer alone, once the recordings a crash left
// open are repaired.
int ViewRecording(QApplication& app, const std::string& folder) {
  RepairInterruptedRecordings();
  RecordingViewer viewer(ToQt(folder));
  if (!viewer.failure().isEmpty()) {
    Refuse("记录查看", "无法打开记录 " + ToQt(folder) + ": " + viewer.failure());
    return 2;
  }
  viewer.show();
  return app.exec();
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

  if (choice.monitor) {  // the line's runs alone: no card, no station's files
    line::LineStore::LoadDriver();
    LineMonitorWindow monitor(*choice.monitor);
    monitor.show();
    return app.exec();
  }
  if (!choice.station) StoreHeldRuns();  // the station stores them on a thread of its own
  if (!choice.view.empty()) return ViewRecording(app, choice.view);

  const std::string cardLibrary = card::DefaultLibraryPath();
  const std::string dataDirectory = acquisition::DefaultDataDirectory();
  const QString title = choice.station ? "KZB7310生产测试" : "KZB7310测试及编程源程序";
  SingleInstance instance(dataDirectory);
  if (auto refused = RefusedTheCard(instance, title)) return *refused;
  for (const std::string& kept : acquisition::RecoverLeftoverDataFiles(dataDirectory)) {
    std::fprintf(stderr, "kzb7310: 未写完的数据文件已保留 unfinished data file kept: %s\n",
                 kept.c_str());
  }
  RepairInterruptedRecordings();

  if (choice.station) {
    const auto profile = production::StationProfile(choice.profile);
    if (!profile) {
      return Refuse(title,
                    QString("自检配置无法使用: %1\n(%2)")
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
