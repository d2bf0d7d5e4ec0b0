#include "colourpanel.h"

#include "colourediting.h"

#include <QGridLayout>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>

namespace korvi {

namespace {

QColor toQColor(quint32 c) { return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)); }

// The palette picture: hues from left to right, from light at the top through the full
// colour to dark at the bottom, and a grey scale in the last rows.
QImage paletteImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const int greyRows = height / 8;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            QColor c;
            if (y >= height - greyRows) {
                const int v = 255 * x / qMax(1, width - 1);
                c = QColor(v, v, v);
            } else {
                const double lightness = 1.0 - double(y) / qMax(1, height - greyRows - 1);
                c = QColor::fromHslF(double(x) / width, 1.0, 0.1 + 0.85 * lightness);
            }
            image.setPixel(x, y, c.rgb());
        }
    }
    return image;
}

// Reports the colour of the pixel under a mouse press.
class PalettePicture : public QLabel {
public:
    PalettePicture(ColourEditor& editor, QWidget* parent) : QLabel(parent), m_editor(editor)
    {
        m_image = paletteImage(192, 96);
        setPixmap(QPixmap::fromImage(m_image));
        setFixedSize(m_image.size());
        setCursor(Qt::CrossCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPoint p = event->position().toPoint();
        if (!m_image.valid(p))
            return;
        const QRgb pixel = m_image.pixel(p);
        m_editor.Picture1_MouseDown(quint32(qRed(pixel)) | quint32(qGreen(pixel)) << 8 |
                                    quint32(qBlue(pixel)) << 16);
    }

private:
    ColourEditor& m_editor;
    QImage m_image;
};

} // namespace

ColourPanel::ColourPanel(ColourEditor& editor, QWidget* parent) : QWidget(parent), m_editor(editor)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    m_list.addItems(ColourEditor::InitColors());
    m_list.setMinimumHeight(120);
    m_swatch.setFixedSize(48, 48);
    m_swatch.setFrameShape(QFrame::Box);
    m_swatch.setAutoFillBackground(true);
    auto* chooser = new QPushButton(QStringLiteral("Farbauswahl..."), this); // Command10
    auto* apply = new QPushButton(QStringLiteral("Anwenden"), this);         // Command9
    m_schemes.setPlaceholderText(QStringLiteral("Farbschema..."));

    grid->addWidget(&m_list, 0, 0, 4, 1);
    grid->addWidget(&m_swatch, 0, 1);
    grid->addWidget(new PalettePicture(editor, this), 0, 2, 2, 1);
    grid->addWidget(chooser, 1, 1);
    grid->addWidget(apply, 2, 1);
    grid->addWidget(&m_schemes, 2, 2);
    grid->setColumnStretch(0, 1);

    connect(&m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_editor.LColor_Click(row + 1); });
    connect(&editor, &ColourEditor::swatchChanged, this, &ColourPanel::showSwatch);
    connect(chooser, &QPushButton::clicked, this, [this] { m_editor.Command10_Click(); });
    connect(apply, &QPushButton::clicked, this, [this] {
        m_editor.Command9_Click();
        refillSchemes();
    });
    connect(&m_schemes, &QComboBox::textActivated, this, [this](const QString& name) {
        m_editor.Combo4_Click(name);
        refillSchemes();
    });
    refillSchemes();
}

void ColourPanel::refillSchemes()
{
    m_schemes.clear();
    m_schemes.addItems(m_editor.schemeFiles());
    // The box names the scheme in use; one that is no file yet shows as the placeholder.
    const QString active = m_editor.activeScheme();
    m_schemes.setCurrentIndex(m_schemes.findText(active, Qt::MatchFixedString));
    m_schemes.setPlaceholderText(active.isEmpty() ? QStringLiteral("Farbschema...") : active);
}

void ColourPanel::showSwatch(quint32 colour)
{
    QPalette p = m_swatch.palette();
    p.setColor(QPalette::Window, toQColor(colour));
    m_swatch.setPalette(p);
}

} // namespace korvi
