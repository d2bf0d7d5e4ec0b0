#pragma once

#include <QLabel>
#include <QListWidget>

#include "loglist.h"

namespace korvi {

// Shows a protocol list in a list widget: new lines are appended (the view keeps no more
// lines than the list), a click shows the whole line in `detail` (when given), a double
// click empties the list. However many lines arrive at once, the view scrolls to the newest
// once per pass of the event loop.
void bindLogList(QListWidget& view, LogList& list, QLabel* detail);

} // namespace korvi
