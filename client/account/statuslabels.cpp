#include "statuslabels.h"

#include "account/statustexts.h"

#include <QHBoxLayout>
#include <QLabel>

namespace korvi {

StatusLabels::StatusLabels(StatusTexts& texts, QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < int(m_labels.size()); ++i) {
        auto* label = new QLabel(texts.lt1(i), this);
        label->setFrameShape(QFrame::StyledPanel);
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        row->addWidget(label, 1);
        m_labels[size_t(i)] = label;
    }
    connect(&texts, &StatusTexts::lt1Changed, this, [this](int index, const QString& text) {
        if (index >= 0 && index < int(m_labels.size()))
            m_labels[size_t(index)]->setText(text);
    });
}

} // namespace korvi
