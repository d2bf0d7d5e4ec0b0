#pragma once

#include "executiontable.h"
#include "fields.h"
#include "orders/cellgrid.h"
#include "orders/gridlayout.h"

#include <vector>
#include "orders/rebuildpacer.h"

#include <QByteArrayView>
#include <QObject>
#include <QStringList>
#include <functional>

namespace korvi {

class LogList;
class Sound;
struct State;

// The orders in which the execution grid lists the executions: the entries of "Combo3".
enum class ExecutionOrder { ByInstrument = 0, NewestAtBottom = 1, NewestAtTop = 2 };

// The participant's executions: the server's single reports ("@EX") and full lists
// ("@SAE") kept in the execution table of the state object, and the execution grid drawn
// from it. Executions are display data: they change neither orders nor positions.
class Executions : public QObject {
    Q_OBJECT
public:
    Executions(State& state, LogList& outgoing, LogList& protocol, Sound& sound, QObject* parent = nullptr);

    // The cells of the execution grid ("EG") and its column model.
    CellGrid cells;
    GridLayout layout;

    // The column model from the current colours (at start-up and after a colour change,
    // followed by a full redraw).
    void InitGridLayout();
    // Per grid column the widest texts it shows in a game (its caption and the largest
    // numbers): the view sizes the columns for them, so that no number is cut.
    std::vector<std::vector<Cell>> widestNumbers() const;

    void WS_EX(QByteArrayView body);
    void WS_SAE(QByteArrayView body);

    // The row map from the table in the chosen order.
    void SortExRows();
    // Mode 0 draws the whole grid; mode 2 redraws the row of row-map entry `key`.
    void ZeigExecutionGrid(int mode, int key);
    // The row-map entry that shows execution `execution`, or 0.
    int SuchExRow(int execution) const;
    // Plays the execution sound when the user asked for it.
    void ExecutionSound();

    // The handlers change the table and mark what changed; refresh() sorts and draws the
    // whole grid once when executions were added, or else redraws the changed rows, and
    // sounds once for all new executions. True when it drew anything.
    bool refresh();
    bool refreshPending() const { return m_resortPending || !m_dirtyList.empty(); }
    // Milliseconds until a waiting sort and full draw is due (0: none waits, or it is due).
    int rebuildWait() const { return m_resortPending && !m_resortNow ? pacer.wait(cells.rowCount()) : 0; }
    // Paces the sort and full draw of a large grid under a flood of new executions.
    RebuildPacer pacer;
    // How often the rows were sorted and the whole grid drawn (for tests and benches).
    int redrawAllCount() const { return m_redrawsAll; }

    // "Combo3": the chosen order. Choosing an entry, like "Grid Refresh", sorts and redraws.
    static QStringList orderCaptions();
    ExecutionOrder order() const { return m_order; }
    void setOrder(ExecutionOrder order);
    void refreshGrid();

    // Filled by the external order interface: an execution of an order placed from outside
    // (negative OrderUserID) is passed on unchanged ("ExtEx"). After the outside program
    // asked for all executions, `takeExecutionsPending` answers true once and the next full
    // list goes to it through `wexSend`.
    std::function<void(QByteArrayView body)> externalExecution;
    std::function<bool()> takeExecutionsPending;
    std::function<void(const QByteArray& framed)> wexSend;

private:
    void failed(const char* procedure, int error);
    // Fills a record from the fields of an "@EX" body; a number that does not fit is
    // logged and left at 0.
    ExecutionRecord fromFields(const Fields& fields, const char* procedure);
    void drawEntry(int entry);
    void drawExecutionRow(int row, int execution);

    State& m_state;
    ExecutionBook& m_book;
    LogList& m_outgoing;
    LogList& m_protocol;
    Sound& m_sound;
    void markExecution(int index);

    ExecutionOrder m_order = ExecutionOrder::ByInstrument;
    bool m_resortPending = false;
    bool m_resortNow = false;
    bool m_soundPending = false;
    std::vector<quint8> m_dirty; // per execution number: changed since the last refresh
    std::vector<int> m_dirtyList;
    int m_redrawsAll = 0;
    Fields m_records;
    Fields m_fields;
};

// The execution sound of the working folder.
inline constexpr const char* kExecutionSoundFile = "KorviEx.wav";

} // namespace korvi
