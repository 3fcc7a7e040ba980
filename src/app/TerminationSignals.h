// Ends the program the normal way when the system asks it to stop (SIGTERM, SIGINT, SIGHUP):
// every window closes, so the card is stopped as on Exit and the exit status is 0.
#pragma once

#include <atomic>

class QObject;

void CloseWindowsOnTermination(QObject* owner);

// Without a window (the self-test): the same requests only set `flag`, so that the work in
// hand ends the normal way.
void SetFlagOnTermination(std::atomic<bool>* flag);
