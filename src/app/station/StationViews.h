// The station's two lists: the checks of the run under test (each with its verdict,
// figures and limits) and the last runs kept (newest first, retests marked).
#pragma once

#include <vector>

#include "ProductionCheck.h"
#include "Profile.h"
#include "RunRecord.h"

class QTableWidget;
class QTreeWidget;

// The columns of the check list, wide enough for every figure's name and state.
void SetUpChecks(QTreeWidget* checks);
// The checks `profile` plans, each waiting.
void ListChecks(QTreeWidget* checks, const selftest::Profile& profile);
// The check now running; the one before it has ended (its verdict comes with the run's).
void MarkRunning(QTreeWidget* checks, selftest::CheckKind check);
// Each check's row with its verdict, figures and limits; a check the run never reached
// says so.
void ShowChecks(QTreeWidget* checks, const selftest::RunRecord& run);

void SetUpRecent(QTableWidget* recent);
// The runs in `recent`, newest first, a retest marked where the day's yield over `today`
// counts one.
void ShowRecent(QTableWidget* table, const std::vector<selftest::RunRecord>& today,
                const std::vector<selftest::RunRecord>& recent);
