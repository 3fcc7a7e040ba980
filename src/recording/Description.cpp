#include "Description.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <variant>

#include "JsonText.h"
#include "LocalTime.h"
#include "RecordFormat.h"

namespace recording {
namespace {

// The shortest text that reads back as the same double.
std::string Number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string Facts(const Description& d) {
  using base::JsonQuoted;
  return "\"format\": \"kzb7310 recording\", \"format_version\": " +
         std::to_string(d.formatVersion) + ", \"id\": " + JsonQuoted(d.id) +
         ", \"card\": " + JsonQuoted(d.card) + ", \"card_library\": " + JsonQuoted(d.cardLibrary) +
         ", \"program\": " + JsonQuoted(d.program) + ", \"station\": " + JsonQuoted(d.station) +
         ", \"channels\": " + std::to_string(d.channels) +
         ", \"points\": " + std::to_string(d.points) +
         ", \"aggregate_rate_hz\": " + std::to_string(d.aggregateRateHz) +
         ", \"channel_rate_hz\": " +
         Number(d.channels > 0 ? static_cast<double>(d.aggregateRateHz) / d.channels : 0) +
         ", \"block_seconds\": " + Number(d.blockSeconds) +
         ", \"zero_code\": " + std::to_string(d.zeroCode) +
         ", \"volts_per_code\": " + Number(d.voltsPerCode) +
         ", \"full_scale_count\": " + std::to_string(d.fullScaleCount) +
         ", \"span_volts\": " + Number(d.spanVolts) +
         ", \"start_utc_us\": " + std::to_string(d.startUtcMicros) +
         ", \"start_utc\": " + JsonQuoted(UtcText(d.startUtcMicros)) +
         ", \"start_local\": " + JsonQuoted(LocalText(d.startUtcMicros)) +
         (d.trigger.empty()
              ? std::string()
              : ", \"trigger\": " + JsonQuoted(d.trigger) + ", \"kept\": " + JsonQuoted(d.kept));
}

// The flat part of a JSON object: its string and number members; nested objects and arrays
// are stepped over. Enough for the descriptions this program writes, and strict about them.
class FlatJson {
 public:
  using Value = std::variant<std::string, double>;
  explicit FlatJson(const std::string& text) : text_(text) {}

  bool Parse(std::map<std::string, Value>& members) {
    Space();
    if (!Take('{')) return false;
    Space();
    if (Take('}')) return true;
    for (;;) {
      std::string key;
      Space();
      if (!String(key)) return false;
      Space();
      if (!Take(':')) return false;
      Space();
      if (Peek() == '"') {
        std::string value;
        if (!String(value)) return false;
        members[key] = value;
      } else if (Peek() == '{' || Peek() == '[') {
        if (!Skip()) return false;
      } else {
        const size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view(",}] \t\r\n").find(text_[at_]) == std::string_view::npos) {
          ++at_;
        }
        const std::string word = text_.substr(start, at_ - start);
        double number = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
        if (error == std::errc() && end == word.data() + word.size()) {
          members[key] = number;
        } else if (word != "true" && word != "false" && word != "null") {
          return false;
        }
      }
      Space();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

 private:
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  void Space() {
    while (at_ < text_.size() &&
           std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos)
      ++at_;
  }
  static void Utf8(uint32_t code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool Hex4(uint32_t& code) {
    if (at_ + 4 > text_.size()) return false;
    const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
    if (error != std::errc() || end != text_.data() + at_ + 4) return false;
    at_ += 4;
    return true;
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      const std::string_view plain = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
      if (const size_t i = plain.find(e); i != std::string_view::npos) {
        out += meant[i];
      } else if (e == 'u') {
        uint32_t code = 0, low = 0;
        if (!Hex4(code)) return false;
        if (code >= 0xD800 && code < 0xDC00) {  // a pair of surrogates: one character
          if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low >= 0xE000) {
            return false;
          }
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        Utf8(code, out);
      } else {
        return false;
      }
    }
    return false;
  }
  bool Skip() {  // a nested object or array, strings in it read as strings
    int depth = 0;
    while (at_ < text_.size()) {
      const char c = Peek();
      if (c == '"') {
        std::string ignored;
        if (!String(ignored)) return false;
        continue;
      }
      ++at_;
      if (c == '{' || c == '[') ++depth;
      if ((c == '}' || c == ']') && --depth == 0) return true;
    }
    return false;
  }

  const std::string& text_;
  size_t at_ = 0;
};

}  // namespace

std::string UtcText(int64_t utcMicros) {
  const int64_t seconds = utcMicros >= 0 ? utcMicros / 1000000 : (utcMicros - 999999) / 1000000;
  const auto micros = static_cast<long>(utcMicros - seconds * 1000000);
  // Days from the civil calendar, so no C library's gmtime (and its range) is needed.
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const int64_t inDay = seconds - days * 86400;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%06ldZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(inDay / 3600),
                static_cast<long long>(inDay / 60 % 60), static_cast<long long>(inDay % 60),
                micros);
  return text;
}

std::string LocalText(int64_t utcMicros) {
  long offset = 0;
  const int64_t seconds = utcMicros >= 0 ? utcMicros / 1000000 : (utcMicros - 999999) / 1000000;
  const std::tm local = LocalTimeOf(seconds, offset);
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02ld%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

std::string DescriptionRecordJson(const Description& d) {
  return "{" + Facts(d) + "}";
}

namespace {

std::string MarksJson(const Description& d) {
  using base::JsonQuoted;
  std::string events, notes;
  for (const EventRecord& e : d.events) {
    events += std::string(events.empty() ? "" : ",") +
              "\n    {\"channel\": " + std::to_string(e.channel) +
              ", \"edge\": " + JsonQuoted(EventEdgeName(e.edge)) +
              ", \"level_v\": " + Number(e.levelVolts) + ", \"block\": " + std::to_string(e.block) +
              ", \"offset_s\": " + Number(e.secondsIntoBlock) +
              ", \"utc_us\": " + std::to_string(e.utcMicros) +
              ", \"utc\": " + JsonQuoted(UtcText(e.utcMicros)) +
              ", \"gap\": " + (e.gap ? "true" : "false") + "}";
  }
  for (const NoteRecord& n : d.notes) {
    notes += std::string(notes.empty() ? "" : ",") +
             "\n    {\"utc_us\": " + std::to_string(n.utcMicros) +
             ", \"utc\": " + JsonQuoted(UtcText(n.utcMicros)) +
             ", \"local\": " + JsonQuoted(LocalText(n.utcMicros)) +
             ", \"text\": " + JsonQuoted(n.text) + "}";
  }
  return ",\n  \"events\": [" + events + (events.empty() ? "]" : "\n  ]") + ",\n  \"notes\": [" +
         notes + (notes.empty() ? "]" : "\n  ]");
}

}  // namespace

std::string RecordingJson(const Description& d) {
  std::string segments;
  for (const SegmentFacts& s : d.segments) {
    segments += std::string(segments.empty() ? "" : ",") +
                "\n    {\"file\": " + base::JsonQuoted(s.file) +
                ", \"records\": " + std::to_string(s.records) +
                ", \"first_block\": " + std::to_string(s.firstBlock) +
                ", \"last_block\": " + std::to_string(s.lastBlock) + "}";
  }
  const RecordingFacts& f = d.facts;
  return "{\n  " + Facts(d) + ",\n  \"segments\": [" + segments +
         "\n  ],\n  \"blocks_recorded\": " + std::to_string(f.blocksRecorded) +
         ",\n  \"blocks_lost\": " + std::to_string(f.blocksLost) +
         ",\n  \"gaps\": " + std::to_string(f.gaps) +
         ",\n  \"blocks_skipped\": " + std::to_string(f.blocksSkipped) +
         ",\n  \"end_utc_us\": " + std::to_string(f.endUtcMicros) +
         ",\n  \"end_utc\": " + base::JsonQuoted(UtcText(f.endUtcMicros)) +
         ",\n  \"end_local\": " + base::JsonQuoted(LocalText(f.endUtcMicros)) +
         ",\n  \"complete\": " + (f.complete ? "true" : "false") +
         ",\n  \"ended\": " + base::JsonQuoted(f.ended) + MarksJson(d) + "\n}\n";
}

base::Result<Description> ParseDescription(const std::string& json) {
  const auto refused = [](const std::string& why,
                          base::Failure::Cause cause = base::Failure::Cause::DescriptionDamaged) {
    return base::Failure{base::Failure::Kind::FileNotWritten, {}, why, cause};
  };
  std::map<std::string, FlatJson::Value> m;
  if (!FlatJson(json).Parse(m)) return refused("not a JSON object");
  const auto text = [&](const char* key) {
    const auto* v = m.contains(key) ? std::get_if<std::string>(&m[key]) : nullptr;
    return v ? *v : std::string();
  };
  const auto number = [&](const char* key) {
    const auto* v = m.contains(key) ? std::get_if<double>(&m[key]) : nullptr;
    return v ? *v : 0.0;
  };
  if (text("format") != "kzb7310 recording") return refused("not a recording's description");
  Description d;
  d.formatVersion = static_cast<int>(number("format_version"));
  if (d.formatVersion > kFormatVersion) {
    return refused("written in format " + std::to_string(d.formatVersion) +
                       ", newer than this program reads (" + std::to_string(kFormatVersion) +
                       "): update the program",
                   base::Failure::Cause::FormatNewer);
  }
  d.id = text("id");
  d.card = text("card");
  d.cardLibrary = text("card_library");
  d.program = text("program");
  d.station = text("station");
  d.trigger = text("trigger");
  d.kept = text("kept");
  d.channels = static_cast<int>(number("channels"));
  d.points = static_cast<int>(number("points"));
  d.aggregateRateHz = static_cast<int32_t>(number("aggregate_rate_hz"));
  d.blockSeconds = number("block_seconds");
  d.zeroCode = static_cast<int32_t>(number("zero_code"));
  d.voltsPerCode = number("volts_per_code");
  if (m.contains("full_scale_count"))
    d.fullScaleCount = static_cast<int32_t>(number("full_scale_count"));
  if (m.contains("span_volts")) d.spanVolts = static_cast<float>(number("span_volts"));
  d.startUtcMicros = static_cast<int64_t>(number("start_utc_us"));
  if (d.formatVersion < 1 || d.channels != kChannels || d.points != kPoints ||
      d.blockSeconds <= 0) {
    return refused("a description without the block's shape and pace");
  }
  return d;
}

}  // namespace recording
