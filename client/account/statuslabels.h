#pragma once

#include <QWidget>
#include <array>

namespace korvi {

class ElidedLabel;
class StatusTexts;

// The three status labels "LT1" side by side, each a third of the width: day place,
// total place, today's result.
class StatusLabels : public QWidget {
    Q_OBJECT
public:
    explicit StatusLabels(StatusTexts& texts, QWidget* parent = nullptr);

    ElidedLabel* label(int index) const { return m_labels.at(size_t(index)); }

private:
    std::array<ElidedLabel*, 3> m_labels{};
};

} // namespace korvi
