#pragma once

#include "cellgrid.h"

#include <QAbstractItemDelegate>
#include <QAbstractTableModel>
#include <QBrush>
#include <QComboBox>
#include <QFont>
#include <QHash>
#include <QPen>
#include <QPixmap>
#include <QStaticText>
#include <QTableView>
#include <vector>

namespace korvi {

class OrderEntry;

// Shows a CellGrid to a table view: text, colours, bold, font size and alignment per cell.
class CellGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CellGridModel(CellGrid& grid, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    CellGrid& m_grid;
    int m_rows = 0;    // what the view has been told
    int m_columns = 0;
};

// Paints the cells of a CellGrid straight from the cells: brushes, pens, fonts and laid-out
// texts are made once and kept, instead of asking the model for every role of every cell
// and building them anew for each paint.
class CellPainter : public QAbstractItemDelegate {
public:
    explicit CellPainter(const CellGrid& grid, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // What the painter was last set to by paintCell, so that a run of cells sets a font or
    // pen only when it changes. A new state means "unknown".
    struct PaintState {
        int fontKey = -1;
        quint32 pen = 0;
        bool penSet = false;
    };
    // Paints one cell into `rect`; `viewFont` is the font of the view the cell belongs to.
    void paintCell(QPainter& painter, const QRect& rect, const Cell& cell, const QFont& viewFont,
                   PaintState& state) const;
    // The text a cell of `width` pixels shows: the whole text when it fits, otherwise as
    // much as fits followed by "…", never a text cut without a mark.
    static QString shownText(const QString& text, const QFont& font, int width);
    // The room for text in a cell of `width` pixels.
    static int textRoom(int width) { return width - 2 * kMargin; }
    // The font a cell is painted with, for a view font `viewFont`.
    static QFont cellFont(const Cell& cell, const QFont& viewFont);
    static constexpr int kMargin = 3;

private:
    const QBrush& brush(quint32 colour) const;
    const QPen& pen(quint32 colour) const;
    // A cell's font by its key (size * 2 + bold; 0 is the view's own font).
    const QFont& font(int key) const;
    const QStaticText& text(const QString& text, int fontKey) const;

    const CellGrid& m_grid;
    mutable QHash<quint32, QBrush> m_brushes;
    mutable QHash<quint32, QPen> m_pens;
    mutable QHash<int, QFont> m_fonts;
    mutable QFont m_baseFont;
    mutable QHash<int, QHash<QString, QStaticText>> m_texts;
    mutable int m_textCount = 0;
};

// A grid drawn from a CellGrid: only what is visible is painted, changed rows are
// repainted in blocks, and row heights follow the cells' heights.
class CellGridView : public QTableView {
    Q_OBJECT
public:
    explicit CellGridView(CellGrid& grid, QWidget* parent = nullptr);
    CellGrid& grid() { return m_grid; }

    // Column widths as the settings file keeps them (" 1200; 800; ...", twips). Widths set
    // here are applied whenever the grid gets its columns and after every full redraw, and
    // a column the user resizes is remembered, so the widths survive rebuilds and a session
    // in which the grid never had a column.
    void setSavedWidths(QByteArrayView text);
    QByteArray savedWidths(int columns) const;
    static constexpr double kTwipsPerPixel = 15.0;
    // The cells each column must show whole: a column without a saved width is made wide
    // enough for them (never narrower than the default).
    void setWidestCells(std::vector<std::vector<Cell>> perColumn);
    // The width a column gets when none was saved.
    int fittingWidth(int column) const;

protected:
    // Paints the rows within the exposed area straight from the grid, with the grid lines,
    // skipping the item view's per-cell style and option set-up.
    void paintEvent(QPaintEvent* event) override;
    // The image of the visible part of a row, `width` pixels wide from the viewport's left
    // edge, with the cells it was drawn from: a row whose cells changed has only those cells
    // drawn again.
    struct RowImage {
        QPixmap image;
        quint64 stamp = 0;
        std::vector<Cell> cells;
        quint64 paint = 0; // the last paint that used it
    };
    void drawRow(RowImage& row, int gridRow, int height, int width, qreal ratio);
    void drawChangedCells(RowImage& row, int gridRow, int height, int width);
    void drawGridLines(QPainter& painter, int height, int width);
    void applyRowHeights(int first, int last);
    void applyWidths();
    // Schedules a repaint of the visible part of rows first..last only.
    void updateRows(int first, int last);

    CellGrid& m_grid;
    CellGridModel m_model;
    CellPainter m_painter;
    QList<int> m_widths; // twips per column, -1: as built
    std::vector<std::vector<Cell>> m_widest;
    bool m_applying = false;
    bool m_resetting = false;
    QHash<quint64, RowImage> m_rowImages; // by row id
    quint64 m_paints = 0;
    std::vector<QPixmap> m_spareImages;  // dropped images, to be drawn over
    QList<int> m_imageLayout;            // what the row images were drawn for
    QFont m_imageFont;
    QPen m_gridPen;
};

// The order grid ("OG"): clicks go to the order entry, the in-cell editor ("Combo1") is a
// drop-down placed over the cell, and the right button opens the context menus.
class OrderGridView : public CellGridView {
    Q_OBJECT
public:
    OrderGridView(CellGrid& grid, OrderEntry& entry, QWidget* parent = nullptr);
    QComboBox& editor() { return m_editor; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // A double click is two clicks to the user's hand but one press is already acted on:
    // the second press of a double click does nothing, so one click makes one order.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showEditor();

    OrderEntry& m_entry;
    QComboBox m_editor;
};

} // namespace korvi
