#include "CheckIdentity.h"

#include <charconv>
#include <utility>

namespace selftest {
namespace {

constexpr std::pair<Verdict, const char*> kVerdicts[] = {
    {Verdict::Pass, "PASS"},
    {Verdict::Fail, "FAIL"},
    {Verdict::NotRun, "NOT RUN"},
    {Verdict::Aborted, "ABORTED"},
};

constexpr std::pair<CheckKind, const char*> kChecks[] = {
    {CheckKind::Identity, "identity"}, {CheckKind::Acquisition, "acquisition"},
    {CheckKind::Analog, "analog"},     {CheckKind::Dynamic, "dynamic"},
    {CheckKind::Digital, "digital"},   {CheckKind::Stop, "stop"},
};

// The words before a subject's number.
constexpr std::pair<Subject, std::string_view> kSubjects[] = {
    {Subject::Channel, "channel "},
    {Subject::OutputBit, "output bit "},
};

template <typename T, size_t N>
const char* NameIn(const std::pair<T, const char*> (&table)[N], T value) {
  for (const auto& [v, name] : table) {
    if (v == value) return name;
  }
  return "";
}

template <typename T, size_t N>
std::optional<T> Named(const std::pair<T, const char*> (&table)[N], std::string_view name) {
  for (const auto& [v, text] : table) {
    if (name == text) return v;
  }
  return std::nullopt;
}

}  // namespace

const char* VerdictName(Verdict verdict) {
  return NameIn(kVerdicts, verdict);
}
std::optional<Verdict> VerdictNamed(std::string_view name) {
  return Named(kVerdicts, name);
}
const char* CheckName(CheckKind kind) {
  return NameIn(kChecks, kind);
}
std::optional<CheckKind> CheckNamed(std::string_view name) {
  return Named(kChecks, name);
}

FigureId::FigureId(std::string_view name) : figure(name) {
  for (const auto& [subject, words] : kSubjects) {
    if (!name.starts_with(words)) continue;
    const std::string_view rest = name.substr(words.size());
    const size_t space = rest.find(' ');
    int n = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + space, n);
    // Only the number as Name writes it, so that every name reads back as itself.
    if (space == std::string_view::npos || error != std::errc() || end != rest.data() + space ||
        rest.substr(0, space) != std::to_string(n) || n < 0) {
      break;
    }
    *this = FigureId(subject, n, std::string(rest.substr(space + 1)));
    return;
  }
}

std::string FigureId::Name() const {
  for (const auto& [s, words] : kSubjects) {
    if (s == subject) return std::string(words) + std::to_string(number) + " " + figure;
  }
  return figure;
}

}  // namespace selftest
