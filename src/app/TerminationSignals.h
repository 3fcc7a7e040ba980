// Ends the program the normal way when the system asks it to stop (SIGTERM, SIGINT, SIGHUP):
// every window closes, so the card is stopped as on Exit and the exit status is 0.
#pragma once

class QObject;

void CloseWindowsOnTermination(QObject* owner);
