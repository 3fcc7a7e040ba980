// The bench window, the one the program opens by default. Its handlers are named after
// control and event; each moves values between the controls and the card, acquisition and
// digital I/O code.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BlockCapture.h"
#include "BlockFeed.h"
#include "ChannelValues.h"
#include "DataDirectory.h"
#include "DigitalInput.h"
#include "DllDef.h"
#include "WaveformWindow.h"

class QLabel;
class SummaryView;

class QTimer;
namespace Ui {
class FrmMultiBuf;
}

class FrmMultiBuf : public QWidget {
  Q_OBJECT

 public:
  // By default the card library next to the executable and the platform's data directory.
  explicit FrmMultiBuf(std::string cardLibraryPath = card::DefaultLibraryPath(),
                       std::string dataDirectory = acquisition::DefaultDataDirectory(),
                       QWidget* parent = nullptr);
  ~FrmMultiBuf() override;

  // Program lifetime.
  void Form_Load();
  void Form_Unload();
  void cmdExit_Click();
  // Analog acquisition.
  void cmdStart_Click();
  void cmdStop_Click();
  void TimerAD_Timer();
  // Digital input and output.
  void Timer_DI_Timer();
  void txtDOChn_Change();
  void UpDownBitNum_Change();
  void txtDOValue_DblClick();
  void cmdDOOutput_Click();
  void cmdSWO_Click();

  // Returns once every data file written so far has been tried (failing ones once more):
  // on disk under its own name, or its failure shown.
  void WaitForDataFiles();
  // At exit: waits up to `bound` for the data files still on their way and returns those
  // that did not land, each as "path: reason".
  std::vector<std::string> FinishDataFiles(std::chrono::milliseconds bound);

  // The waveform window, opened on `channel` (0-based) or brought to the front with that
  // channel added. Null until first opened.
  void OpenWaveform(int channel);
  WaveformWindow* waveform() const { return waveform_; }

  // The steady clock the analog tick times its polls by, in seconds; tests give the
  // simulated card's own.
  void SetClock(std::function<double()> nowSeconds) { clock_ = std::move(nowSeconds); }

  // What the handlers keep, for tests and benchmarks to look at.
  const DllDef& dll() const { return dll_; }
  const acquisition::ChannelValues& values() const { return feed_.values(); }
  const acquisition::BlockCapture& capture() const { return feed_.capture(); }
  const acquisition::LossWatch& losses() const { return feed_.losses(); }
  int16_t SwoValue(size_t index) const { return SwoValue_[index]; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowChannelInfo();
  void ShowFileStatus();
  void ShowLoss(int lostBlocks);
  void RefuseStart(const QString& setting, const QString& text);
  void ConnectWaveformOpeners();
  void OfferWaveform(QWidget* source, const QPoint& pos, int channel);
  void ShowCardInfo();
  void ConnectHandlers();
  void NameControlArrays();
  void ApplyUserInterfaceFont();
  void ApplyDigitalInputFont();

  std::unique_ptr<Ui::FrmMultiBuf> ui_;
  QTimer* TimerAD_;
  QTimer* Timer_DI_;
  std::array<QLabel*, 4> lblAD_{};  // the live values of channels 1 to 4

  DllDef dll_;
  bool cardInfoShown_ = false;  // false until the card has answered the identity request
  std::string cardIdentity_;    // its answer, for a recording's description
  // The acquisition's blocks, which the tick asks for and the waveform window subscribes to.
  acquisition::BlockFeed feed_;
  std::function<double()> clock_;
  // "12:03:05 丢失 37 块", the latest last: the last eight, enough to see a pattern in the
  // tooltip and few enough to read.
  static constexpr int kLossTimesShown = 8;
  QStringList lossTimes_;
  dio::DiWordBuffer DiWords_{};
  // The window's byte output buffer, indices 0 to 8: element 0 holds the byte last sent,
  // the others are kept but never used.
  std::array<int16_t, 9> SwoValue_{};
  // The summary text, rebuilt in place every tick; its 65 lines of at most 30 bytes fit in
  // the 4096 reserved at start, so a tick allocates nothing.
  std::string summary_;
  std::unique_ptr<SummaryView> summaryView_;
  QPointer<WaveformWindow> waveform_;
};
