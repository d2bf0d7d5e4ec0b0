#include "qtprinter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace korvi {

Printer::Result QtPrinter::print(const QStringList& lines)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return Result::NoPrinter;
    QPrinter printer(info);
    QPainter painter;
    if (!painter.begin(&printer))
        return Result::Failed;
    const QFontMetrics metrics(painter.font(), &printer);
    const int lineHeight = metrics.lineSpacing();
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    int y = metrics.ascent();
    for (const QString& line : lines) {
        if (y + metrics.descent() > page.height() && y > metrics.ascent()) {
            if (!printer.newPage()) {
                painter.end();
                return Result::Failed;
            }
            y = metrics.ascent();
        }
        painter.drawText(0, y, line);
        y += lineHeight;
    }
    return painter.end() ? Result::Printed : Result::Failed;
}

} // namespace korvi
