// Ends the program the normal way when the system asks it to stop (SIGTERM, SIGINT, SIGHUP;
// on Windows a console's Ctrl+C, Ctrl+Break or close): every window closes, so the card is
// stopped as on Exit and the exit status is 0.
#pragma once

#include <atomic>

class QObject;

// First thing in main, before anything else is built, so that a request in the program's
// first milliseconds is kept until the window or the self-test can act on it.
void CatchTermination();

// The window: a request, also one that came before this call, closes every window.
void CloseWindowsOnTermination(QObject* owner);

// Without a window (the self-test): a request only sets `flag` (at once, if one came
// already), so that the work in hand ends the normal way.
void SetFlagOnTermination(std::atomic<bool>* flag);
