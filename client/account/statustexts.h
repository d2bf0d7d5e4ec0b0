#pragma once

#include <QObject>
#include <QString>
#include <array>

namespace korvi {

// The texts of the three status labels at the top of the main window ("LT1": 0 day place,
// 1 total place, 2 today's result) and of the result label "Label2". The account and the
// ranking messages both write here; the widgets only show what the signals say.
class StatusTexts : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    static constexpr int kDayPlace = 0;
    static constexpr int kTotalPlace = 1;
    static constexpr int kResult = 2;

    // Index outside 0..2 is ignored.
    void setLT1(int index, const QString& text)
    {
        if (index < 0 || index >= int(m_lt1.size()))
            return;
        m_lt1[size_t(index)] = text;
        emit lt1Changed(index, text);
    }
    QString lt1(int index) const
    {
        return index >= 0 && index < int(m_lt1.size()) ? m_lt1[size_t(index)] : QString();
    }

    void setLabel2(const QString& text)
    {
        m_label2 = text;
        emit label2Changed(text);
    }
    const QString& label2() const { return m_label2; }

signals:
    void lt1Changed(int index, const QString& text);
    void label2Changed(const QString& text);

private:
    std::array<QString, 3> m_lt1;
    QString m_label2;
};

} // namespace korvi
