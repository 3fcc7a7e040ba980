#include "SpcReport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <tuple>

#include "JsonText.h"
#include "NumberForms.h"

namespace spc {
namespace {

constexpr const char* kLine = "全线 line";

// Exactly, for files: the shortest text that reads back as the same double, a point for the
// decimal mark in every locale.
std::string Exact(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;  // a double's shortest form is at most 24 characters
  return std::string(buf, end);
}
std::string Exact(const std::optional<double>& v) {
  return v ? Exact(*v) : std::string();
}
// For people: 6 significant digits, "-" for none.
std::string Shown(const std::optional<double>& v) {
  return v ? numtext::General(*v, 6) : "-";
}
// JSON has no infinity: a number too large for a double (sums of huge values) is null there.
std::string Json(double v) {
  return std::isfinite(v) ? Exact(v) : "null";
}
std::string Json(const std::optional<double>& v) {
  return v ? Json(*v) : "null";
}

std::string Cell(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string ShownInterval(const char* name, const std::optional<Interval>& i) {
  if (!i) return std::string(name) + " -";
  return std::string(name) + " " + numtext::General(i->value, 4) + " [" +
         numtext::General(i->lower, 4) + ", " + numtext::General(i->upper, 4) + "]";
}

std::string JsonInterval(const std::optional<Interval>& i) {
  if (!i) return "null";
  return "{\"value\": " + Json(i->value) + ", \"lower\": " + Json(i->lower) +
         ", \"upper\": " + Json(i->upper) + "}";
}

std::string CsvInterval(const std::optional<Interval>& i) {
  if (!i) return ",,";
  return Exact(i->value) + "," + Exact(i->lower) + "," + Exact(i->upper);
}

// The samples of a violation's first and last point.
const Sample& FirstOf(const Series& s, const Violation& v) {
  return *s.samples[s.analysis.points[v.first]];
}
const Sample& LastOf(const Series& s, const Violation& v) {
  return *s.samples[s.analysis.points[v.last]];
}

}  // namespace

Report SeriesOf(std::vector<Sample> samples, size_t runs, bool withLine) {
  Report report;
  report.samples = std::move(samples);
  std::map<std::string, std::map<std::string, std::vector<const Sample*>>> byFigure;
  std::map<std::string, std::vector<const Sample*>> lineOf;
  for (const Sample& s : report.samples) {
    byFigure[s.figure][s.station].push_back(&s);
    if (withLine) lineOf[s.figure].push_back(&s);
  }
  const auto add = [&](const std::string& figure, const std::string& station,
                       std::vector<const Sample*>& members) {
    Series& s = report.series.emplace_back();
    s.figure = figure;
    s.station = station;
    // The runs' order: their start (to the second), then their id; a run's figures of one
    // name in the order given.
    const auto byRun = [](const Sample* a, const Sample* b) {
      return std::tie(a->started, a->runId) < std::tie(b->started, b->runId);
    };
    if (!std::is_sorted(members.begin(), members.end(), byRun)) {
      std::stable_sort(members.begin(), members.end(), byRun);
    }
    if (runs > 0 && members.size() > runs) {
      members.erase(members.begin(), members.end() - std::ptrdiff_t(runs));
    }
    s.samples = std::move(members);
    s.unit = s.samples.empty() ? "" : s.samples.back()->unit;
    s.analysis = Analyse(s.samples);
  };
  for (auto& [figure, stations] : byFigure) {
    for (auto& [station, members] : stations) add(figure, station, members);
    if (withLine) add(figure, "", lineOf[figure]);
  }
  return report;
}

std::string RuleText(int rule) {
  static const char* const kTexts[kRuleCount] = {
      "一点超出3σ (one point beyond 3 sigma)",
      "三点中两点超出2σ (2 of 3 beyond 2 sigma, same side)",
      "五点中四点超出1σ (4 of 5 beyond 1 sigma, same side)",
      "连续8点在中心线同侧 (8 in a row on one side of the centre)",
      "连续6点递增或递减 (6 in a row rising or falling)",
      "连续14点上下交替 (14 in a row alternating up and down)",
      "连续15点在1σ内 (15 in a row within 1 sigma)",
      "连续8点在1σ外 (8 in a row beyond 1 sigma, either side)",
  };
  if (rule < 1 || rule > kRuleCount) return std::to_string(rule);
  return std::to_string(rule) + " " + kTexts[rule - 1];
}

std::string SpcTable(const std::vector<Series>& all) {
  std::string text = "统计过程控制 process control (95% 置信区间 confidence intervals)\n";
  for (const Series& s : all) {
    const Statistics& st = s.analysis.statistics;
    text += "\n" + s.figure + (s.unit.empty() ? "" : " (" + s.unit + ")") + "  " +
            (s.station.empty() ? kLine : s.station) + "\n";
    text += "  点数 points " + std::to_string(st.count) + "  缺测 missing " +
            std::to_string(st.missing) + "\n";
    text += "  均值 mean " + Shown(st.mean) + "  σ组内 within " + Shown(st.sigmaWithin) +
            "  σ整体 overall " + Shown(st.sigmaOverall) + "\n";
    text += "  下限 low " + Shown(st.low) + "  上限 high " + Shown(st.high) +
            (st.limitsVaried ? "  (限值曾变更 limits changed)" : "") + "\n";
    text += "  " + ShownInterval("Cp", st.cp) + "  " + ShownInterval("Cpk", st.cpk) + "  " +
            ShownInterval("Cpu", st.cpu) + "  " + ShownInterval("Cpl", st.cpl) + "\n";
    if (const auto& c = s.analysis.chart) {
      text += "  单值图 I: CL " + Shown(c->individuals.centre) + "  LCL " +
              Shown(c->individuals.lower) + "  UCL " + Shown(c->individuals.upper) +
              "  移动极差图 MR: CL " + Shown(c->movingRange.centre) + "  UCL " +
              Shown(c->movingRange.upper) + "\n";
    }
    for (const Violation& v : s.analysis.violations) {
      const Sample &first = FirstOf(s, v), &last = LastOf(s, v);
      text += "  判异 rule " + RuleText(v.rule) + ": 点 points " + std::to_string(v.first + 1) +
              "-" + std::to_string(v.last + 1) + ", " + first.started + " " + first.runId;
      if (v.last != v.first) text += " .. " + last.started + " " + last.runId;
      text += "\n";
    }
  }
  return text;
}

std::string SpcCsv(const std::vector<Series>& all) {
  std::string csv =
      "\xEF\xBB\xBF"
      "kind,figure,unit,scope,station,count,missing,mean,mr_bar,sigma_within,sigma_overall,low,"
      "high,limits_varied,cp,cp_lower,cp_upper,cpk,cpk_lower,cpk_upper,cpu,cpu_lower,cpu_upper,"
      "cpl,cpl_lower,cpl_upper,i_centre,i_lower,i_upper,mr_centre,mr_upper,rule,first_point,"
      "last_point,first_run,last_run,first_started,last_started\r\n";
  for (const Series& s : all) {
    const Statistics& st = s.analysis.statistics;
    const std::string who = Cell(s.figure) + "," + Cell(s.unit) + "," +
                            (s.station.empty() ? "line," : "station,") + Cell(s.station) + ",";
    csv += "series," + who + std::to_string(st.count) + "," + std::to_string(st.missing) + "," +
           Exact(st.mean) + "," + Exact(st.mrBar) + "," + Exact(st.sigmaWithin) + "," +
           Exact(st.sigmaOverall) + "," + Exact(st.low) + "," + Exact(st.high) + "," +
           (st.limitsVaried ? "1" : "0") + "," + CsvInterval(st.cp) + "," + CsvInterval(st.cpk) +
           "," + CsvInterval(st.cpu) + "," + CsvInterval(st.cpl) + ",";
    if (const auto& c = s.analysis.chart) {
      csv += Exact(c->individuals.centre) + "," + Exact(c->individuals.lower) + "," +
             Exact(c->individuals.upper) + "," + Exact(c->movingRange.centre) + "," +
             Exact(c->movingRange.upper);
    } else {
      csv += ",,,,";
    }
    csv += ",,,,,,,\r\n";
    for (const Violation& v : s.analysis.violations) {
      const Sample &first = FirstOf(s, v), &last = LastOf(s, v);
      csv += "violation," + who + std::string(26, ',') + std::to_string(v.rule) + "," +
             std::to_string(v.first + 1) + "," + std::to_string(v.last + 1) + "," +
             Cell(first.runId) + "," + Cell(last.runId) + "," + Cell(first.started) + "," +
             Cell(last.started) + "\r\n";
    }
  }
  return csv;
}

std::string SpcJson(const std::vector<Series>& all, bool withPoints) {
  std::string json = "{\n  \"confidence\": 0.95,\n  \"series\": [";
  for (size_t n = 0; n < all.size(); ++n) {
    const Series& s = all[n];
    const Statistics& st = s.analysis.statistics;
    json += std::string(n ? "," : "") + "\n    {\"figure\": " + base::JsonQuoted(s.figure) +
            ", \"unit\": " + base::JsonQuoted(s.unit) +
            ", \"station\": " + (s.station.empty() ? "null" : base::JsonQuoted(s.station)) +
            ", \"count\": " + std::to_string(st.count) +
            ", \"missing\": " + std::to_string(st.missing) + ",\n     \"mean\": " + Json(st.mean) +
            ", \"mr_bar\": " + Json(st.mrBar) + ", \"sigma_within\": " + Json(st.sigmaWithin) +
            ", \"sigma_overall\": " + Json(st.sigmaOverall) + ", \"low\": " + Json(st.low) +
            ", \"high\": " + Json(st.high) +
            ", \"limits_varied\": " + (st.limitsVaried ? "true" : "false") +
            ",\n     \"cp\": " + JsonInterval(st.cp) + ", \"cpk\": " + JsonInterval(st.cpk) +
            ", \"cpu\": " + JsonInterval(st.cpu) + ", \"cpl\": " + JsonInterval(st.cpl) +
            ",\n     \"chart\": ";
    if (const auto& c = s.analysis.chart) {
      json += "{\"individuals\": {\"centre\": " + Json(c->individuals.centre) +
              ", \"lower\": " + Json(c->individuals.lower) +
              ", \"upper\": " + Json(c->individuals.upper) +
              "}, \"moving_range\": {\"centre\": " + Json(c->movingRange.centre) +
              ", \"lower\": 0, \"upper\": " + Json(c->movingRange.upper) +
              "}, \"rule_sigma\": " + Json(c->ruleSigma) + "}";
    } else {
      json += "null";
    }
    json += ",\n     \"violations\": [";
    for (size_t k = 0; k < s.analysis.violations.size(); ++k) {
      const Violation& v = s.analysis.violations[k];
      const Sample &first = FirstOf(s, v), &last = LastOf(s, v);
      json += std::string(k ? ", " : "") + "{\"rule\": " + std::to_string(v.rule) +
              ", \"text\": " + base::JsonQuoted(RuleText(v.rule)) +
              ", \"first_point\": " + std::to_string(v.first + 1) +
              ", \"last_point\": " + std::to_string(v.last + 1) +
              ", \"first_run\": " + base::JsonQuoted(first.runId) +
              ", \"last_run\": " + base::JsonQuoted(last.runId) +
              ", \"first_started\": " + base::JsonQuoted(first.started) +
              ", \"last_started\": " + base::JsonQuoted(last.started) + "}";
    }
    json += "]";
    if (withPoints) {
      json += ",\n     \"points\": [";
      const auto& points = s.analysis.points;
      for (size_t k = 0; k < points.size(); ++k) {
        const Sample& p = *s.samples[points[k]];
        json += std::string(k ? ", " : "") + "{\"run\": " + base::JsonQuoted(p.runId) +
                ", \"started\": " + base::JsonQuoted(p.started) + ", \"value\": " + Json(*p.value) +
                ", \"moving_range\": " +
                (k ? Json(std::fabs(*p.value - *s.samples[points[k - 1]]->value)) : "null") + "}";
      }
      json += "]";
    }
    json += "}";
  }
  return json + "\n  ]\n}\n";
}

}  // namespace spc
