#pragma once

#include <QStringList>

namespace korvi {

// Printing goes through this interface so that the statement logic never touches a
// printer itself; the windows supply the real one and tests a recording double.
class Printer {
public:
    enum class Result { Printed, NoPrinter, Failed };
    virtual ~Printer() = default;
    // Prints the lines in order on the default printer, as one job.
    virtual Result print(const QStringList& lines) = 0;
};

} // namespace korvi
