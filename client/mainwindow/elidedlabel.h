#pragma once

#include <QLabel>

namespace korvi {

// A one-line label for texts from outside (server messages, places, ids): it shows plain
// text only, in one line, cut with "..." to the width it is given. Its size never depends on
// the text, so no text can widen a window; only the first `kMaxShownChars` characters are
// kept at all.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxShownChars = 1000;

    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    // The text as kept: cut to kMaxShownChars, line breaks as blanks.
    const QString& fullText() const { return m_full; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString m_full;
};

} // namespace korvi
