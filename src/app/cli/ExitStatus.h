// Exit statuses that the recording and the export share.
#pragma once

constexpr int kExitInterrupted = 3;  // a signal ended it before its end
constexpr int kExitNotWritten = 4;   // what it writes could not be written whole
