// A run's facts, listed once: each record of a run (the results database, the JUnit
// properties, the history CSV, the JSON report) walks this table, so that a new fact is one
// row here and a name in the outputs that show it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "RunRecord.h"

namespace selftest {

using FactValue = std::variant<std::string, double>;

struct RunFact {
  const char* name;    // as the reports name it: "run_id", "serial", "duration_s"
  const char* column;  // the results database's column; null for a fact derived, not kept
  FactValue (*get)(const RunRecord&);
  // Sets the fact from a kept value; false for one this program cannot read.
  bool (*set)(RunRecord&, const FactValue&);
  bool property;  // one of a JUnit suite's properties
  bool number;    // a number (seconds), not a text
};

// Every fact, in the order of the database's columns; the first, the run's id, is its key.
std::span<const RunFact> RunFacts();
// The fact of that name; a name not in the table is a programming error.
const RunFact& Fact(std::string_view name);

// A number as the reports write it: up to 6 significant decimals, "null" for NaN or an
// infinity (which JSON lacks).
std::string ReportNumber(double value);
// A fact as text: the text itself, a number as ReportNumber writes it.
std::string FactText(const FactValue& value);

}  // namespace selftest
