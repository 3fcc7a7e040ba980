#include "FrequencyPlot.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "PlotScale.h"

namespace {

constexpr int kFrequencyColumnWidth = 78;
constexpr float kFloorDb = -160, kTopDb = 0;

double XOf(const QRect& area, double nyquist, double hz) {
  return area.left() + (nyquist > 0 ? hz / nyquist * area.width() : 0);
}
double YOf(const QRect& area, double db) {
  const double clamped = std::clamp(db, double{kFloorDb}, double{kTopDb});
  return area.bottom() - (clamped - kFloorDb) / (kTopDb - kFloorDb) * area.height();
}

}  // namespace

FrequencyPlot::FrequencyPlot(QWidget* parent) : PlotFrame(kFrequencyColumnWidth, parent) {}

void FrequencyPlot::SetFigures(std::vector<int> channels,
                               std::vector<acquisition::AdcFigures> figures, size_t recordPoints,
                               double sampleRateHz, const acquisition::VoltageScale& scale) {
  channels_ = std::move(channels);
  figures_ = std::move(figures);
  recordPoints_ = recordPoints;
  sampleRateHz_ = sampleRateHz;
  scale_ = scale;
  update();
}

void FrequencyPlot::SetNote(const QString& note) {
  if (note == note_) return;
  note_ = note;
  update();
}

QString FrequencyPlot::FigureText(double value, const char* unit, int decimals) {
  if (value < -150) return QString("< -150 ") + unit;
  return QString::number(value, 'f', decimals) + " " + unit;
}

void FrequencyPlot::DrawBackground(QPainter& p) {
  const QRect area = PlotArea();
  const double nyquist = sampleRateHz_ / 2;
  // dBFS every 20 dB, Hz at round values.
  for (float db = kFloorDb; db <= kTopDb; db += 20) {
    DrawRow(p, static_cast<int>(YOf(area, db)), QString::number(static_cast<int>(db)),
            QColor(225, 225, 225));
  }
  const double step = NiceStep(nyquist, 8);
  for (double hz = 0; nyquist > 0 && hz <= nyquist + 1e-9; hz += step) {
    DrawColumn(p, static_cast<int>(XOf(area, nyquist, hz)),
               QString::number(hz, 'f', step < 1 ? 1 : 0));
  }
  DrawFrame(p, "dBFS", "Hz");
  if (channels_.empty()) DrawNoData(p);
  DrawLegend(p, {"频率", "幅度", "SNR", "THD", "SINAD", "ENOB", "噪声"}, channels_);
  if (recordPoints_ > 0 && sampleRateHz_ > 0) {
    p.setPen(Qt::darkGray);
    p.drawText(NoteArea(), Qt::AlignLeft | Qt::AlignVCenter,
               QString("窗口: %1   记录: %2 点   分辨率: %3 Hz")
                   .arg(acquisition::kAnalysisWindowName)
                   .arg(recordPoints_)
                   .arg(sampleRateHz_ / static_cast<double>(recordPoints_), 0, 'f', 3));
  }
}

void FrequencyPlot::paintEvent(QPaintEvent*) {
  if (channels_ != backgroundChannels_ || recordPoints_ != backgroundPoints_ ||
      sampleRateHz_ != backgroundRate_) {
    backgroundChannels_ = channels_;
    backgroundPoints_ = recordPoints_;
    backgroundRate_ = sampleRateHz_;
    InvalidateBackground();
  }
  QPainter p(this);
  PaintBackground(p);
  p.setClipRect(PlotArea().adjusted(0, 0, 1, 1));
  for (size_t i = 0; i < figures_.size(); ++i) DrawSpectrum(p, static_cast<int>(i));
  p.setClipping(false);
  DrawFigures(p);
  if (!note_.isEmpty()) {
    p.setPen(QColor(180, 0, 0));
    p.drawText(NoteArea(), Qt::AlignRight | Qt::AlignVCenter, note_);
  }
}

// A spectrum as the highest bin under every pixel column, so a 3000-bin record draws as many
// points as the plot is wide; the tones marked with their harmonic's number.
void FrequencyPlot::DrawSpectrum(QPainter& p, int trace) const {
  const auto& f = figures_[trace];
  if (f.spectrumDbfs.empty() || f.binHz <= 0) return;
  const QRect area = PlotArea();
  const double nyquist = sampleRateHz_ / 2;
  const QColor colour = TraceColour(trace);
  QPolygonF line;
  line.reserve(area.width() + 1);
  const size_t bins = f.spectrumDbfs.size();
  size_t k = 0;
  for (int column = 0; column <= area.width() && k < bins; ++column) {
    const double upToHz = nyquist * (column + 1) / area.width();
    float top = f.spectrumDbfs[k];
    while (k < bins && k * f.binHz < upToHz) top = std::max(top, f.spectrumDbfs[k++]);
    line << QPointF(area.left() + column, YOf(area, top));
  }
  p.setPen(QPen(colour, 0));
  p.drawPolyline(line);
  if (!f.sine) return;
  const auto levelAt = [&](double hz) {
    const auto bin = static_cast<size_t>(std::lround(hz / f.binHz));
    float top = kFloorDb;
    for (size_t b = bin > 3 ? bin - 3 : 0; b <= bin + 3 && b < bins; ++b) {
      top = std::max(top, f.spectrumDbfs[b]);
    }
    return top;
  };
  const auto mark = [&](double hz, const QString& label) {
    const QPointF tip(XOf(area, nyquist, hz), YOf(area, levelAt(hz)) - 3);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({tip, tip + QPointF(-4, -7), tip + QPointF(4, -7)}));
    p.drawText(QRectF(tip.x() - 10, tip.y() - 21, 20, 14), Qt::AlignCenter, label);
  };
  mark(f.fundamentalHz, "f");
  for (int h = 0; h < acquisition::kHarmonics; ++h) mark(f.harmonicHz[h], QString::number(h + 2));
  p.setBrush(Qt::NoBrush);
}

// The legend's figures; its headings and names are in the background.
void FrequencyPlot::DrawFigures(QPainter& p) const {
  p.setPen(Qt::black);
  const double voltsPerCode =
      scale_.FullScaleCount > 0 ? static_cast<double>(scale_.SpanVolts) / scale_.FullScaleCount : 0;
  for (size_t i = 0; i < figures_.size() && i < channels_.size(); ++i) {
    const auto& f = figures_[i];
    const QString dash = QStringLiteral("-");
    const QString cells[] = {
        f.sine ? QString::number(f.fundamentalHz, 'f', 2) + " Hz" : dash,
        f.sine ? QString::number(f.amplitudeCodes * voltsPerCode, 'f', 4) + " V" : dash,
        f.sine ? FigureText(f.snrDb, "dB", 1) : dash,
        f.sine ? FigureText(f.thdDb, "dBc", 1) : dash,
        f.sine ? FigureText(f.sinadDb, "dB", 1) : dash,
        f.sine ? QString::number(f.enob, 'f', 2) + " 位" : dash,
        QString::number(f.noiseRmsCodes, 'f', 2) + " 码",
    };
    for (int c = 0; c < 7; ++c) {
      p.drawText(LegendCell(c, static_cast<int>(i)), Qt::AlignLeft | Qt::AlignVCenter, cells[c]);
    }
  }
}
