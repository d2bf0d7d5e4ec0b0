#include "loglistview.h"

#include <QTimer>

namespace korvi {

void bindLogList(QListWidget& view, LogList& list, QLabel* detail)
{
    // Every line has the same height, so the view never measures the lines' texts.
    view.setUniformItemSizes(true);
    for (const QString& line : list.lines())
        view.addItem(line);
    // Scrolling lays the view out; a flood of lines scrolls once, after the flood.
    auto* scroll = new QTimer(&view);
    scroll->setSingleShot(true);
    scroll->setInterval(0);
    QObject::connect(scroll, &QTimer::timeout, &view, &QListWidget::scrollToBottom);
    QObject::connect(&list, &LogList::added, &view, [&view, scroll](const QString& line) {
        while (view.count() >= LogList::kMaxLines)
            delete view.takeItem(0);
        view.addItem(line);
        if (!scroll->isActive())
            scroll->start();
    });
    QObject::connect(&list, &LogList::cleared, &view, &QListWidget::clear);
    QObject::connect(&view, &QListWidget::itemDoubleClicked, &list, [&list] { list.clear(); });
    if (detail) {
        QObject::connect(&view, &QListWidget::itemClicked, detail,
                         [detail](QListWidgetItem* item) { detail->setText(item->text()); });
    }
}

} // namespace korvi
