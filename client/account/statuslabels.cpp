#include "statuslabels.h"

#include "account/statustexts.h"
#include "mainwindow/elidedlabel.h"

#include <QHBoxLayout>
#include <QLabel>

namespace korvi {

StatusLabels::StatusLabels(StatusTexts& texts, QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < int(m_labels.size()); ++i) {
        // The places come from the server: a long text is cut, never widens the window.
        auto* label = new ElidedLabel(this);
        label->setFrameShape(QFrame::StyledPanel);
        label->setAlignment(Qt::AlignCenter);
        label->setFullText(texts.lt1(i));
        row->addWidget(label, 1);
        m_labels[size_t(i)] = label;
    }
    connect(&texts, &StatusTexts::lt1Changed, this, [this](int index, const QString& text) {
        if (index >= 0 && index < int(m_labels.size()))
            m_labels[size_t(index)]->setFullText(text);
    });
}

} // namespace korvi
