// The program's one window. Its handlers are named after control and event; each moves
// values between the controls and the card, acquisition and digital I/O code.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "BlockCapture.h"
#include "ChannelValues.h"
#include "DataFile.h"
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

  // Returns once every data file written so far is on disk under its own name.
  void WaitForDataFiles();

  // The waveform window, opened on `channel` (0-based) or brought to the front with that
  // channel added. Null until first opened.
  void OpenWaveform(int channel);
  WaveformWindow* waveform() const { return waveform_; }

  // What the handlers keep, for tests and benchmarks to look at.
  const DllDef& dll() const { return dll_; }
  const acquisition::ChannelValues& values() const { return values_; }
  const acquisition::BlockCapture& capture() const { return capture_; }
  const dio::DiWordBuffer& DiWords() const { return DiWords_; }
  int16_t SwoValue(size_t index) const { return SwoValue_[index]; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowChannelInfo();
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
  std::array<QLabel*, 4> lblAD_{};

  DllDef dll_;
  bool cardInfoShown_ = false;  // false until the card has answered the identity request
  acquisition::ChannelValues values_;
  acquisition::BlockCapture capture_;
  dio::DiWordBuffer DiWords_{};
  // The window's byte output buffer, indices 0 to 8: element 0 holds the byte last sent,
  // the others are kept but never used.
  std::array<int16_t, 9> SwoValue_{};
  std::string summary_;  // the summary text, rebuilt in place every tick
  std::unique_ptr<SummaryView> summaryView_;
  QPointer<WaveformWindow> waveform_;
};
