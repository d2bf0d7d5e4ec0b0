#pragma once

#include "account/printer.h"

namespace korvi {

// Prints on the machine's default printer with its default font, one line under the
// other, starting a new page when one is full.
class QtPrinter : public Printer {
public:
    Result print(const QStringList& lines) override;
};

} // namespace korvi
