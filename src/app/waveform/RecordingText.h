// The recording's reasons as the operator reads them: the core's own words, with the
// common ones said in Chinese first.
#pragma once

#include <QString>
#include <string>

QString RecordingReason(const std::string& reason);
