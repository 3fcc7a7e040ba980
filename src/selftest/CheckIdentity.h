// What a run concludes, which check a result belongs to and which figure a measurement is,
// as types. Text is made from them only where a record is written or read: the names here
// are the ones the reports and the results database have always held.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace selftest {

// What a run concludes. An aborted run says nothing about the card.
enum class Verdict { Pass, Fail, NotRun, Aborted };
// "PASS", "FAIL", "NOT RUN" or "ABORTED", as the records name them.
const char* VerdictName(Verdict verdict);
std::optional<Verdict> VerdictNamed(std::string_view name);

// The checks, in the order a run goes through them.
enum class CheckKind { Identity, Acquisition, Analog, Dynamic, Digital, Stop };
// "identity", "acquisition", "analog", "dynamic", "digital" or "stop".
const char* CheckName(CheckKind kind);
std::optional<CheckKind> CheckNamed(std::string_view name);

// What a figure is measured on.
enum class Subject { Card, Channel, OutputBit };

// A measurement's identity: its subject, the channel (1 to 64) or output bit (0 to 15), and
// the figure ("mean", "SNR", "blocks received").
struct FigureId {
  Subject subject = Subject::Card;
  int number = 0;
  std::string figure;

  FigureId() = default;
  FigureId(Subject s, int n, std::string f) : subject(s), number(n), figure(std::move(f)) {}
  // From its name as the records write it ("channel 64 SNR"); a name of another shape is a
  // figure of the card.
  FigureId(std::string_view name);  // NOLINT(google-explicit-constructor): a record's name
  FigureId(const char* name) : FigureId(std::string_view(name)) {}
  FigureId(const std::string& name) : FigureId(std::string_view(name)) {}
  // "channel 64 SNR", "output bit 3 patterns misread", "lost blocks".
  std::string Name() const;
  bool operator==(const FigureId&) const = default;
};

}  // namespace selftest
