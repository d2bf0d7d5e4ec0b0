#include "ordergridview.h"

#include "cellgrid.h"
#include "orderentry.h"
#include "settings.h"

#include <QFont>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <optional>

namespace korvi {

namespace {
QColor toColor(Colour c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
} // namespace

CellGridModel::CellGridModel(CellGrid& grid, QObject* parent) : QAbstractTableModel(parent), m_grid(grid)
{
    m_rows = grid.rowCount();
    m_columns = grid.columnCount();
    // A changed row count is passed on as inserted or removed rows, so the view keeps its
    // column widths; only a changed column count resets the model.
    connect(&grid, &CellGrid::layoutReset, this, [this] {
        const int rows = m_grid.rowCount();
        if (m_grid.columnCount() != m_columns) {
            beginResetModel();
            m_rows = rows;
            m_columns = m_grid.columnCount();
            endResetModel();
            return;
        }
        if (rows > m_rows) {
            beginInsertRows({}, m_rows, rows - 1);
            m_rows = rows;
            endInsertRows();
        } else if (rows < m_rows) {
            beginRemoveRows({}, rows, m_rows - 1);
            m_rows = rows;
            endRemoveRows();
        }
        if (m_rows > 0 && m_columns > 0)
            emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
    });
    // Changed rows are repainted by the view itself (CellGridView::updateRows): a model
    // change of more than one cell would repaint the whole view.
}

int CellGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int CellGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

QVariant CellGridModel::data(const QModelIndex& index, int role) const
{
    const Cell& c = m_grid.at(index.row(), index.column());
    switch (role) {
    case Qt::DisplayRole:
        return c.text;
    case Qt::BackgroundRole:
        return toColor(c.ownBackground ? c.background : m_grid.generalBackground);
    case Qt::ForegroundRole:
        return toColor(c.ownForeground ? c.foreground : m_grid.textColour);
    case Qt::FontRole:
        if (c.bold || c.fontSize) {
            QFont f;
            f.setBold(c.bold);
            if (c.fontSize)
                f.setPointSize(c.fontSize);
            return f;
        }
        return {};
    case Qt::TextAlignmentRole:
        return c.centred ? QVariant(Qt::AlignCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

CellPainter::CellPainter(const CellGrid& grid, QObject* parent) : QAbstractItemDelegate(parent), m_grid(grid) {}

QSize CellPainter::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    return {72, m_grid.rowHeight(index.row())};
}

const QBrush& CellPainter::brush(quint32 colour) const
{
    auto it = m_brushes.find(colour);
    if (it == m_brushes.end())
        it = m_brushes.insert(colour, QBrush(toColor(colour)));
    return *it;
}

const QPen& CellPainter::pen(quint32 colour) const
{
    auto it = m_pens.find(colour);
    if (it == m_pens.end())
        it = m_pens.insert(colour, QPen(toColor(colour)));
    return *it;
}

const QFont& CellPainter::font(int key) const
{
    auto it = m_fonts.find(key);
    if (it == m_fonts.end()) {
        QFont f = m_baseFont;
        f.setBold(key & 1);
        if (key >> 1)
            f.setPointSize(key >> 1);
        it = m_fonts.insert(key, f);
    }
    return *it;
}

const QStaticText& CellPainter::text(const QString& text, int fontKey) const
{
    QHash<QString, QStaticText>& texts = m_texts[fontKey];
    auto it = texts.find(text);
    if (it == texts.end()) {
        // The texts of a grid repeat (prices, names, "CANCEL"); the cache is bounded all the same.
        if (++m_textCount > 20000) {
            m_texts.clear();
            m_textCount = 1;
        }
        QStaticText st(text);
        st.setTextFormat(Qt::PlainText);
        st.setPerformanceHint(QStaticText::AggressiveCaching);
        st.prepare(QTransform(), font(fontKey));
        it = m_texts[fontKey].insert(text, st);
    }
    return *it;
}

void CellPainter::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    PaintState state;
    paintCell(*painter, option.rect, m_grid.at(index.row(), index.column()), option.font, state);
    painter->restore();
}

void CellPainter::paintCell(QPainter& painter, const QRect& rect, const Cell& c, const QFont& viewFont,
                            PaintState& state) const
{
    if (viewFont != m_baseFont) {
        m_baseFont = viewFont;
        m_fonts.clear();
        m_texts.clear();
        m_textCount = 0;
        state.fontKey = -1;
    }
    painter.fillRect(rect, brush(c.ownBackground ? c.background : m_grid.generalBackground));
    if (c.text.isEmpty())
        return;
    const int fontKey = (c.fontSize > 0 ? c.fontSize * 2 : 0) | (c.bold ? 1 : 0);
    const QStaticText& st = text(c.text, fontKey);
    const QSizeF size = st.size();
    const int room = textRoom(rect.width());
    const qreal x = c.centred && size.width() < room ? rect.left() + (rect.width() - size.width()) / 2
                                                      : rect.left() + kMargin;
    const qreal y = rect.top() + (rect.height() - size.height()) / 2;
    if (state.fontKey != fontKey) {
        painter.setFont(font(fontKey));
        state.fontKey = fontKey;
    }
    const quint32 colour = c.ownForeground ? c.foreground : m_grid.textColour;
    if (!state.penSet || state.pen != colour) {
        painter.setPen(pen(colour));
        state.pen = colour;
        state.penSet = true;
    }
    // A text wider than its cell is cut with a visible mark, never silently: "Mges=3200"
    // would read as another amount than 32000.
    if (size.width() > room) {
        const QFont& f = font(fontKey);
        painter.setClipRect(rect);
        painter.drawText(QRectF(rect.left() + kMargin, rect.top(), std::max(room, 0), rect.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, shownText(c.text, f, room));
        painter.setClipping(false);
        return;
    }
    painter.drawStaticText(QPointF(x, y), st);
}

QString CellPainter::shownText(const QString& text, const QFont& font, int width)
{
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString mark = QStringLiteral("\u2026");
    // Qt's elision gives up on very narrow cells; then the mark alone shows that something
    // is hidden.
    const QString elided = metrics.elidedText(text, Qt::ElideRight, std::max(width, 0));
    return elided.isEmpty() || !elided.endsWith(mark) ? mark : elided;
}

QFont CellPainter::cellFont(const Cell& cell, const QFont& viewFont)
{
    QFont f = viewFont;
    if (cell.fontSize > 0)
        f.setPointSize(cell.fontSize);
    f.setBold(cell.bold);
    return f;
}

CellGridView::CellGridView(CellGrid& grid, QWidget* parent)
    : QTableView(parent), m_grid(grid), m_model(grid), m_painter(grid)
{
    setModel(&m_model);
    setItemDelegate(&m_painter);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    // New rows come with the grid's own height, so that only rows of another height (the
    // separators) are resized one by one: each resize costs a pass over all rows.
    verticalHeader()->setDefaultSectionSize(CellGrid::kDefaultRowHeight);
    horizontalHeader()->setDefaultSectionSize(72);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::ClickFocus);
    // The cells cover what they paint; only the area beside them is filled (paintEvent), so
    // no pixel is filled twice.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&grid, &CellGrid::layoutReset, this, [this] {
        m_applying = true;
        setColumnWidth(0, qMax(8, m_grid.columnWidth0 / 15));
        m_applying = false;
        applyWidths();
        applyRowHeights(0, m_grid.rowCount() - 1);
    });
    connect(&grid, &CellGrid::rowsChanged, this, [this](int first, int last) {
        applyRowHeights(first, last);
        updateRows(first, last);
    });
    // A model reset gives every column the default width; the saved ones come back after.
    connect(&m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_resetting = true; });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_resetting = false;
        applyWidths();
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (m_applying || m_resetting || column < 0 || column >= m_model.columnCount())
            return;
        while (m_widths.size() <= column)
            m_widths.append(-1);
        m_widths[column] = qRound(size * kTwipsPerPixel);
    });
    setColumnWidth(0, qMax(8, m_grid.columnWidth0 / 15));
    applyRowHeights(0, m_grid.rowCount() - 1);
}

void CellGridView::setSavedWidths(QByteArrayView text)
{
    m_widths = parseColumnWidths(text);
    applyWidths();
}

void CellGridView::setWidestCells(std::vector<std::vector<Cell>> perColumn)
{
    m_widest = std::move(perColumn);
    applyWidths();
}

int CellGridView::fittingWidth(int column) const
{
    int width = horizontalHeader()->defaultSectionSize();
    if (column >= 0 && static_cast<size_t>(column) < m_widest.size()) {
        for (const Cell& c : m_widest[static_cast<size_t>(column)]) {
            const int needed = QFontMetrics(CellPainter::cellFont(c, font())).horizontalAdvance(c.text) +
                               2 * CellPainter::kMargin + 1;
            width = std::max(width, needed);
        }
    }
    return width;
}

void CellGridView::applyWidths()
{
    m_applying = true;
    const int columns = m_model.columnCount();
    for (int c = 1; c < columns; ++c) {
        if (c < m_widths.size() && m_widths[c] >= 0)
            setColumnWidth(c, qRound(m_widths[c] / kTwipsPerPixel));
        else if (static_cast<size_t>(c) < m_widest.size() && !m_widest[static_cast<size_t>(c)].empty())
            setColumnWidth(c, fittingWidth(c));
    }
    if (!m_widths.isEmpty() && m_widths[0] >= 0 && columns > 0)
        setColumnWidth(0, qRound(m_widths[0] / kTwipsPerPixel));
    m_applying = false;
}

QByteArray CellGridView::savedWidths(int columns) const
{
    QList<int> out;
    for (int c = 0; c < columns; ++c) {
        if (c < m_model.columnCount())
            out << qRound(columnWidth(c) * kTwipsPerPixel);
        else if (c < m_widths.size() && m_widths[c] >= 0)
            out << m_widths[c];
        else
            out << qRound(fittingWidth(c) * kTwipsPerPixel);
    }
    return formatColumnWidths(out);
}

void CellGridView::applyRowHeights(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const int h = m_grid.rowHeight(row);
        if (rowHeight(row) != h)
            setRowHeight(row, h);
    }
}

void CellGridView::updateRows(int first, int last)
{
    last = qMin(last, m_model.rowCount() - 1);
    if (first < 0 || first > last)
        return;
    const int top = rowViewportPosition(first);
    const int bottom = rowViewportPosition(last) + rowHeight(last);
    const int height = viewport()->height();
    if (bottom <= 0 || top >= height)
        return;
    viewport()->update(QRect(0, qMax(0, top), viewport()->width(), qMin(bottom, height) - qMax(0, top)));
}

void CellGridView::drawRow(RowImage& row, int gridRow, int height, int width, qreal ratio)
{
    // A new image comes from the images of rows that went away, when one has the size.
    const QSize size = QSize(width, height) * ratio;
    if (row.image.size() != size) {
        row.image = QPixmap();
        while (!m_spareImages.empty() && row.image.isNull()) {
            if (m_spareImages.back().size() == size)
                row.image = std::move(m_spareImages.back());
            m_spareImages.pop_back();
        }
        if (row.image.isNull())
            row.image = QPixmap(size);
        row.image.setDevicePixelRatio(ratio);
    }
    QPainter painter(&row.image);
    const QFont& viewFont = font();
    painter.setFont(viewFont);
    CellPainter::PaintState state;
    state.fontKey = 0;
    const int gridSize = showGrid() ? 1 : 0;
    const int columns = m_model.columnCount();
    row.cells.resize(size_t(columns));
    int x = columnViewportPosition(0);
    for (int column = 0; column < columns; ++column) {
        const Cell& cell = m_grid.at(gridRow, column);
        row.cells[size_t(column)] = cell;
        const int w = columnWidth(column);
        if (x < width && x + w > 0 && w > gridSize && height > gridSize)
            m_painter.paintCell(painter, QRect(x, 0, w - gridSize, height - gridSize), cell, viewFont, state);
        x += w;
    }
    if (x < width)
        painter.fillRect(QRect(x, 0, width - x, height), palette().brush(QPalette::Base));
    drawGridLines(painter, height, width);
}

void CellGridView::drawChangedCells(RowImage& row, int gridRow, int height, int width)
{
    // Only the cells that differ from those the image shows are drawn over it (a row
    // renumbered by an insert above it changes one cell of twenty).
    std::optional<QPainter> painter;
    const QFont& viewFont = font();
    CellPainter::PaintState state;
    const int gridSize = showGrid() ? 1 : 0;
    int x = columnViewportPosition(0);
    for (int column = 0; column < int(row.cells.size()); ++column) {
        const int w = columnWidth(column);
        const Cell& cell = m_grid.at(gridRow, column);
        if (!(cell == row.cells[size_t(column)])) {
            row.cells[size_t(column)] = cell;
            if (x < width && x + w > 0 && w > gridSize && height > gridSize) {
                if (!painter) {
                    painter.emplace(&row.image);
                    painter->setFont(viewFont);
                    state.fontKey = 0;
                }
                m_painter.paintCell(*painter, QRect(x, 0, w - gridSize, height - gridSize), cell, viewFont, state);
            }
        }
        x += w;
    }
    if (painter)
        drawGridLines(*painter, height, width);
}

void CellGridView::drawGridLines(QPainter& painter, int height, int width)
{
    if (!showGrid())
        return;
    const int columns = m_model.columnCount();
    int x = columnViewportPosition(0);
    for (int column = 0; column < columns; ++column)
        x += columnWidth(column);
    painter.setPen(m_gridPen);
    painter.drawLine(0, height - 1, std::min(x, width) - 1, height - 1);
    x = columnViewportPosition(0);
    for (int column = 0; column < columns && x < width; ++column) {
        x += columnWidth(column);
        if (x > 0 && x <= width)
            painter.drawLine(x - 1, 0, x - 1, height - 1);
    }
}

void CellGridView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const int rows = m_model.rowCount();
    const QRect area = event->rect();
    const QBrush& base = palette().brush(QPalette::Base);
    const int firstRow = rowAt(area.top());
    if (rows == 0 || m_model.columnCount() == 0 || firstRow < 0) {
        painter.fillRect(area, base);
        return;
    }
    int lastRow = rowAt(area.bottom());
    if (lastRow < 0)
        lastRow = rows - 1;

    // Each row is painted from an image of its visible part, kept by the row's id: a row
    // that did not change, also one that only moved up or down, costs one copy; a row that
    // changed has its changed cells drawn again. The images are dropped when anything they
    // were drawn with changed.
    const int width = viewport()->width();
    const qreal ratio = viewport()->devicePixelRatioF();
    QList<int> imageLayout{width, columnViewportPosition(0), int(ratio * 100), int(m_grid.generalBackground),
                           int(m_grid.textColour), showGrid() ? 1 : 0};
    for (int column = 0; column < m_model.columnCount(); ++column)
        imageLayout.append(columnWidth(column));
    if (imageLayout != m_imageLayout || font() != m_imageFont) {
        m_rowImages.clear();
        m_spareImages.clear();
        m_imageLayout = imageLayout;
        m_imageFont = font();
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const auto gridColour = static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this));
        m_gridPen = QPen(QColor::fromRgba(gridColour), 0);
    }
    int y = rowViewportPosition(firstRow);
    ++m_paints;
    for (int row = firstRow; row <= lastRow; ++row) {
        const int h = rowHeight(row);
        if (h <= 0)
            continue;
        RowImage& image = m_rowImages[m_grid.rowId(row)];
        const quint64 stamp = m_grid.rowStamp(row);
        if (image.image.height() != qRound(h * ratio))
            drawRow(image, row, h, width, ratio);
        else if (image.stamp != stamp)
            drawChangedCells(image, row, h, width);
        image.stamp = stamp;
        image.paint = m_paints;
        painter.drawPixmap(0, y, image.image);
        y += h;
    }
    // Bounded to about two screens of rows: past that, the images this paint did not use
    // go (rows removed or scrolled away); their pixmaps are kept for new rows.
    const int mostImages = 2 * (viewport()->height() / CellGrid::kDefaultRowHeight) + 8;
    if (m_rowImages.size() > mostImages) {
        for (auto it = m_rowImages.begin(); it != m_rowImages.end();) {
            if (it->paint == m_paints) {
                ++it;
                continue;
            }
            if (int(m_spareImages.size()) < mostImages / 2)
                m_spareImages.push_back(std::move(it->image));
            it = m_rowImages.erase(it);
        }
    }
    if (y < area.bottom() + 1)
        painter.fillRect(QRect(area.left(), y, area.width(), area.bottom() + 1 - y), base);
}

OrderGridView::OrderGridView(CellGrid& grid, OrderEntry& entry, QWidget* parent)
    : CellGridView(grid, parent), m_entry(entry), m_editor(viewport())
{
    m_editor.setEditable(true);
    m_editor.hide();
    m_editor.installEventFilter(this);
    if (m_editor.lineEdit())
        m_editor.lineEdit()->installEventFilter(this);
    connect(&m_editor, &QComboBox::textActivated, this, [this](const QString& text) {
        m_entry.Combo1_Click(text);
    });
    connect(&m_editor, &QComboBox::editTextChanged, this, [this](const QString& text) {
        m_entry.setEditorText(text);
    });
    connect(&entry, &OrderEntry::editorChanged, this, &OrderGridView::showEditor);
    connect(&entry, &OrderEntry::menuRequested, this, [this](GridMenu menu, int row) {
        QMenu popup(this);
        const QStringList items = OrderEntry::menuItems(menu);
        for (int i = 0; i < items.size(); ++i)
            popup.addAction(items[i])->setData(i);
        if (QAction* chosen = popup.exec(QCursor::pos()))
            m_entry.chooseMenuItem(menu, row, chosen->data().toInt());
    });
}

void OrderGridView::showEditor()
{
    const CellEditor& e = m_entry.editor();
    if (!e.visible) {
        m_editor.hide();
        return;
    }
    const QSignalBlocker block(&m_editor);
    m_editor.clear();
    m_editor.addItems(e.items);
    if (e.selected >= 0)
        m_editor.setCurrentIndex(e.selected);
    m_editor.setEditText(e.text);
    m_entry.setEditorText(e.text);
    // The editor is at least as wide as its longest entry needs, so that a price is never
    // shown with digits scrolled out of view.
    QRect rect = visualRect(m_model.index(e.row, e.column));
    m_editor.setSizeAdjustPolicy(QComboBox::AdjustToContents);
    rect.setWidth(std::max(rect.width(), m_editor.sizeHint().width()));
    m_editor.setGeometry(rect);
    if (QLineEdit* line = m_editor.lineEdit())
        line->setCursorPosition(0);
    m_editor.show();
    m_editor.setFocus();
}

void OrderGridView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid())
        return;
    m_entry.mouseDown(event->button() == Qt::RightButton, index.row(), index.column());
}

void OrderGridView::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

bool OrderGridView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_entry.Combo1_Click(m_editor.currentText());
            return true;
        }
        if (key == Qt::Key_Escape) {
            m_entry.hideEditor();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && watched == m_editor.lineEdit() && m_editor.isVisible() &&
               !m_editor.view()->isVisible()) {
        m_entry.leaveEditor();
    }
    return CellGridView::eventFilter(watched, event);
}

} // namespace korvi
