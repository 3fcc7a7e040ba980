// Saving what the waveform window shows: a view's picture with the caption of its block,
// written whole as PNG, and the dialog that asks where a file goes.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// Writes `view` as drawn, `caption` at its top right; returns the reason when the file could
// not be written.
QString WriteViewPicture(QWidget* view, const QString& caption, const QString& path);

// Asks for a file name, offered as `name` in `folder` (which becomes the folder chosen),
// then saves with `save`; a failure is shown with its reason.
void ChooseAndSave(QWidget* parent, QString& folder, const QString& title, const QString& name,
                   const QString& filter, const std::function<QString(const QString&)>& save);
