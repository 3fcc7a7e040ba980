// What the station says in words: the operator's day and clock, a serial shortened for a
// message, a reason from its kind, the day's yield, and what a run's keeping left undone.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "Failure.h"
#include "KeepRun.h"
#include "LineUploader.h"
#include "StationShift.h"
#include "Yield.h"

// The operator's day begins at local midnight, not at UTC's: runs are kept in UTC.
std::string TodayStartUtc();
// A kept run's start as the operator's clock shows it.
QString LocalTime(const std::string& iso8601Utc);
// A serial as a message shows it: a long one keeps its start and end.
QString ShownSerial(const std::string& serial);

// A system's reason as the operator reads it: what its kind means in Chinese, the system's
// own words in brackets after.
QString Reason(base::Failure::Cause cause, const std::string& reason);
QString Reason(const production::Landing& landing);
QString Reason(const std::optional<base::Failure>& failure);

// The day's count and yield in one line.
QString TodayText(const selftest::Yield& yield);
// How many runs wait beside the database at `heldPath`, and why.
QString HeldText(int held, const std::string& heldPath,
                 const std::optional<base::Failure>& failure);
// Runs not in the database at close: `held` beside the database at `heldPath`, `unsaved`
// on no disk.
QString NotStoredText(int held, const std::string& heldPath, size_t unsaved);
// What the operator must know of a run's keeping: what could not be stored, written or
// held, and what waits. `serial` is the one scanned.
QStringList KeepingProblems(const production::ShiftRun& run, const production::StationShift& shift,
                            const std::string& serial);
// The banner over a scan's end: the run's verdict and whether its result is kept, or that no
// card was tested.
struct Banner {
  QString text;
  const char* colour;
};
Banner VerdictBanner(const production::ShiftRun& run);
// The line's state in one line: connecting, synced, runs waiting, no answer, or why it
// cannot be reached, and the runs it refused; `off` says whether it needs the operator's eye.
QString LineText(const production::LineStatus& status, bool& off);
