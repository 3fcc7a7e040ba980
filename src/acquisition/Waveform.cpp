#include "Waveform.h"

#include <algorithm>
#include <cmath>

#include "NumberForms.h"

namespace acquisition {

double PointIntervalMs(int32_t aggregateRate, int channels) {
  if (aggregateRate <= 0 || channels <= 0) return 0;
  return 1000.0 * channels / aggregateRate;
}

void ExtractTrace(const BlockView& block, int channel, const VoltageScale& scale, Trace& trace) {
  trace.channel = channel;
  trace.volts.resize(static_cast<size_t>(block.points));
  for (int pt = 0; pt < block.points; ++pt) {
    trace.volts[pt] = VoltsOfCell(block.cell(pt, channel), scale);
  }
  trace.stats = StatsOf(trace.volts, PointIntervalMs(block.aggregateRate, block.channels));
}

namespace {

// Rising crossings of the mean, each counted only after the signal has been a tenth of the
// swing below it, so that noise around a level does not count as a period. A period needs at least
// two crossings; the time of each is interpolated between its two points.
std::optional<double> FrequencyOf(const std::vector<float>& volts, float mean, float swing,
                                  double pointIntervalMs) {
  constexpr float kSmallestSwing = 0.01f;  // volts; below it a level only wanders
  if (swing < kSmallestSwing || pointIntervalMs <= 0) return std::nullopt;
  const float low = mean - swing / 10;
  bool armed = false;
  int crossings = 0;
  double first = 0, last = 0;
  for (size_t i = 1; i < volts.size(); ++i) {
    if (volts[i] < low) armed = true;
    if (armed && volts[i - 1] < mean && volts[i] >= mean) {
      const double at = (i - 1) + (mean - volts[i - 1]) / (volts[i] - volts[i - 1]);
      if (crossings == 0) first = at;
      last = at;
      ++crossings;
      armed = false;
    }
  }
  if (crossings < 2) return std::nullopt;
  const double periodMs = (last - first) / (crossings - 1) * pointIntervalMs;
  return 1000.0 / periodMs;
}

}  // namespace

TraceStats StatsOf(const std::vector<float>& volts, double pointIntervalMs) {
  TraceStats stats;
  if (volts.empty()) return stats;
  double sum = 0, squares = 0;
  stats.minimum = stats.maximum = volts.front();
  for (float v : volts) {
    stats.minimum = std::min(stats.minimum, v);
    stats.maximum = std::max(stats.maximum, v);
    sum += v;
    squares += static_cast<double>(v) * v;
  }
  const double n = static_cast<double>(volts.size());
  stats.mean = static_cast<float>(sum / n);
  stats.rms = static_cast<float>(std::sqrt(squares / n));
  stats.frequencyHz =
      FrequencyOf(volts, stats.mean, stats.maximum - stats.minimum, pointIntervalMs);
  return stats;
}

std::string TraceName(int channel) {
  return "通道" + std::to_string(channel + 1) + " (Ch " + std::to_string(channel) + ")";
}

std::string TracesCsv(const std::vector<Trace>& traces, double pointIntervalMs, int blockNumber,
                      const std::string& blockTime) {
  std::string csv =
      "\xEF\xBB\xBF数据块," + std::to_string(blockNumber) + ",时间," + blockTime + "\r\n时间(ms)";
  size_t points = 0;
  for (const Trace& t : traces) {
    csv.append(",").append(TraceName(t.channel)).append(" (V)");
    points = std::max(points, t.volts.size());
  }
  csv += "\r\n";
  for (size_t pt = 0; pt < points; ++pt) {
    numtext::AppendFixed(csv, static_cast<double>(pt) * pointIntervalMs, 2);
    for (const Trace& t : traces) {
      csv += ',';
      if (pt < t.volts.size()) numtext::AppendFixed(csv, t.volts[pt], 5);
    }
    csv += "\r\n";
  }
  return csv;
}

std::string SpectrumCsv(const std::vector<int>& channels, const std::vector<AdcFigures>& figures,
                        double voltsPerCode, size_t recordPoints, int blockNumber,
                        const std::string& blockTime) {
  std::string csv = "\xEF\xBB\xBF数据块," + std::to_string(blockNumber) + ",时间," + blockTime +
                    ",窗口," + kAnalysisWindowName + ",记录点数," + std::to_string(recordPoints) +
                    "\r\n指标";
  for (int channel : channels) csv.append(",").append(TraceName(channel));
  csv += "\r\n";
  const auto row = [&](const char* name, auto value, int decimals, bool toneOnly) {
    csv += name;
    for (const AdcFigures& f : figures) {
      csv += ',';
      if (toneOnly && !f.sine) continue;
      numtext::AppendFixed(csv, value(f), decimals);
    }
    csv += "\r\n";
  };
  row(
      "基波频率(Hz)", [](const AdcFigures& f) { return f.fundamentalHz; }, 4, true);
  row(
      "幅度(V)", [&](const AdcFigures& f) { return f.amplitudeCodes * voltsPerCode; }, 5, true);
  row(
      "SNR(dB)", [](const AdcFigures& f) { return f.snrDb; }, 2, true);
  row(
      "THD(dBc)", [](const AdcFigures& f) { return f.thdDb; }, 2, true);
  row(
      "SINAD(dB)", [](const AdcFigures& f) { return f.sinadDb; }, 2, true);
  row(
      "ENOB(位)", [](const AdcFigures& f) { return f.enob; }, 3, true);
  row(
      "\"噪声(码,有效值)\"", [](const AdcFigures& f) { return f.noiseRmsCodes; }, 3, false);
  csv += "\r\n频率(Hz)";
  size_t bins = 0;
  double binHz = 0;
  for (size_t i = 0; i < channels.size(); ++i) {
    csv.append(",").append(TraceName(channels[i])).append(" (dBFS)");
    if (i < figures.size() && figures[i].spectrumDbfs.size() > bins) {
      bins = figures[i].spectrumDbfs.size();
      binHz = figures[i].binHz;
    }
  }
  csv += "\r\n";
  for (size_t k = 0; k < bins; ++k) {
    numtext::AppendFixed(csv, static_cast<double>(k) * binHz, 4);
    for (const AdcFigures& f : figures) {
      csv += ',';
      if (k < f.spectrumDbfs.size()) numtext::AppendFixed(csv, f.spectrumDbfs[k], 2);
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace acquisition
