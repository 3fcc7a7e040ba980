// A run as the line's kzb_add_run takes it: its row, its checks' rows and its figures' rows,
// each a JSON text whose keys are the line's columns. Numbers go as text with 17 digits, so
// that the server reads back exactly the double the station kept (NaN and the infinities
// too, which JSON lacks); a figure without a value or a limit is null.
#pragma once

#include <QString>
#include <optional>

#include "RunRecord.h"

namespace line {

struct RunJson {
  QString run, checks, figures;
};

// `clockOffsetSeconds` is empty where the station's clock could not be read closely enough;
// `clockBoundSeconds` is how far off the offset may be.
RunJson RunAsJson(const selftest::RunRecord& run, std::optional<double> clockOffsetSeconds,
                  double clockBoundSeconds);

}  // namespace line
