// Which keys pressed in the station belong in its serial field though the focus is elsewhere:
// a scanner's characters and its Enter, wherever the operator last clicked.
#pragma once

class QKeyEvent;
class QLineEdit;
class QObject;
class QWidget;

// Whether `key`, first landing on `watched`, is a scan meant for the window `station`.
bool IsScanKey(const QWidget* station, QObject* watched, const QKeyEvent& key);

// Hands the scan's `key` to the serial `field`: a new scan replaces what the field held, and
// its next keys come there of themselves.
void MoveScanKey(QLineEdit* field, const QKeyEvent& key);
