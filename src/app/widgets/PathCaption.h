// Captions the program writes with a path in them (the data folder, the card library). One
// that would overflow its place keeps its start and the file name, with "…" in the middle,
// and shows the whole text in its tooltip; one that fits is shown as it is.
#pragma once

#include <QString>
#include <functional>

class QLabel;

// `caption` with its path (from `pathStart` on) cut in the middle until `fits` accepts it:
// the path's head goes first, then, if still too long, the start of its last part. The
// caption's start before the path always stays.
QString ElidePathCaption(const QString& caption, qsizetype pathStart,
                         const std::function<bool(const QString&)>& fits);

// Sets `label` to `caption`, elided when it would overflow the room the label has (up to its
// nearest neighbour or its container's edge: to the right for a one-line label, downwards
// for one that wraps words). The tooltip is `note`, with the whole caption before it when
// the caption was elided.
void SetPathCaption(QLabel* label, const QString& caption, qsizetype pathStart,
                    const QString& note = {});
