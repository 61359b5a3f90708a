#include "views/ui/VTRRMListCtrlEx.h"

#include "Utilities/StringTable.h"
#include "views/RuleListModel.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace {

QPixmap DrawStateIcon(bool checked)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x5a, 0x6e, 0x82), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
    if (checked) {
        p.setPen(QPen(QColor(0x1c, 0x7c, 0x2c), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF tick[] = { { 4.0, 8.5 }, { 7.0, 11.5 }, { 12.0, 4.5 } };
        p.drawPolyline(tick, 3);
    }
    return pixmap;
}

// Draws the check box of column 0 with the two state icons and toggles it
// on a plain click of the icon.
class StateIconDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!(option->features & QStyleOptionViewItem::HasCheckIndicator))
            return;
        option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = CVTRRMListCtrlEx::StateIcon(option->checkState == Qt::Checked);
        option->decorationSize = QSize(16, 16);
    }

    // Rules whose settings differ from their defaults carry a corner mark
    // (the tooltip names the settings).
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.column() != RuleListModel::RuleColumn || !index.data(RuleListModel::DiffersRole).toBool())
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0xe0, 0x7b, 0x00));
        const QRect r = option.rect;
        const int side = std::min(9, r.height() - 2);
        const QPointF corner[] = { QPointF(r.right() - side, r.top()), QPointF(r.right() + 1, r.top()),
            QPointF(r.right() + 1, r.top() + side) };
        painter->drawPolygon(corner, 3);
        painter->restore();
    }

    bool editorEvent(
        QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index) override
    {
        if (event->type() != QEvent::MouseButtonRelease || !(index.flags() & Qt::ItemIsUserCheckable))
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        // With Ctrl or Shift the click is about selection; the box keeps its state.
        if (mouse->button() != Qt::LeftButton || mouse->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))
            return false;
        const QRect icon(option.rect.left() + 3, option.rect.top() + (option.rect.height() - 16) / 2, 18, 16);
        if (!icon.contains(mouse->position().toPoint()))
            return false;
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
};

} // namespace

CVTRRMListCtrlEx::CVTRRMListCtrlEx(QWidget* parent)
    : QTableView(parent)
{
    setObjectName(QStringLiteral("ruleList"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setItemDelegate(new StateIconDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    // The view sets the indicator from the list's own sort state.
    horizontalHeader()->setSortIndicatorShown(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CVTRRMListCtrlEx::ColumnClicked);
    m_editor = new QLineEdit(viewport());
    m_editor->setObjectName(QStringLiteral("messageEditor"));
    m_editor->hide();
    m_editor->installEventFilter(this);
}

QIcon CVTRRMListCtrlEx::StateIcon(bool checked)
{
    static const QIcon unchecked(DrawStateIcon(false));
    static const QIcon ticked(DrawStateIcon(true));
    return checked ? ticked : unchecked;
}

QList<int> CVTRRMListCtrlEx::SelectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CVTRRMListCtrlEx::FitColumnsToSample()
{
    if (!model())
        return;
    const int rows = model()->rowCount();
    // The rows a tall screen shows first, and as many again spread evenly
    // over the rest, so the cost stays the same whatever the list's length.
    constexpr int kFirstRows = 200;
    constexpr int kSpreadRows = 800;
    std::vector<int> sample;
    for (int row = 0; row < std::min(rows, kFirstRows); ++row)
        sample.push_back(row);
    if (rows > kFirstRows) {
        const int step = std::max(1, (rows - kFirstRows) / kSpreadRows);
        for (int row = kFirstRows; row < rows; row += step)
            sample.push_back(row);
    }
    const QFontMetrics fm = fontMetrics();
    for (int column = 0; column < 4; ++column) {
        const int extra = column == 0 ? 24 : 0; // the state icon
        int wanted = 0;
        for (int row : sample)
            wanted = std::max(
                wanted, fm.horizontalAdvance(model()->index(row, column).data().toString()) * 12 / 10 + extra);
        m_fitted[column] = std::max(m_fitted[column], wanted);
        if (columnWidth(column) < m_fitted[column])
            setColumnWidth(column, m_fitted[column]);
    }
}

int CVTRRMListCtrlEx::FittedWidth(int column) const
{
    return column >= 0 && column < 4 ? m_fitted[column] : 0;
}

void CVTRRMListCtrlEx::ToggleWithSpace()
{
    const QModelIndex focus = currentIndex();
    if (!focus.isValid() || !model())
        return;
    const int focusRow = focus.row();
    const QList<int> selected = SelectedRows();
    auto isChecked = [this](int row) { return model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked; };
    const bool newState = !isChecked(focusRow);
    QList<int> toOn;
    QList<int> toOff;
    (newState ? toOn : toOff).append(focusRow);
    const bool together = selected.contains(focusRow) && selected.size() > 1;
    for (int row : selected) {
        if (row == focusRow)
            continue;
        // With the focused row among several selected ones, all follow it;
        // otherwise each selected row flips.
        const bool state = together ? newState : !isChecked(row);
        (state ? toOn : toOff).append(row);
    }
    auto* rules = qobject_cast<RuleListModel*>(model());
    for (const auto& [rows, state] : { std::pair { &toOn, true }, std::pair { &toOff, false } }) {
        if (rows->isEmpty())
            continue;
        if (rules) {
            rules->SetCheckedMany(*rows, state);
        } else {
            for (int row : *rows)
                model()->setData(model()->index(row, 0), state ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        }
    }
}

bool CVTRRMListCtrlEx::event(QEvent* event)
{
    // F1 is also the window's Help shortcut (the commands page); with a rule
    // selected the list takes it, so the rule's own page opens.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier && selectionModel()
            && selectionModel()->hasSelection()) {
            event->accept();
            return true;
        }
    }
    return QTableView::event(event);
}

void CVTRRMListCtrlEx::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        if (selectionModel() && selectionModel()->hasSelection())
            emit HelpRequested();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_L && event->modifiers() & Qt::ControlModifier) {
        // Key down and key up both arrive; one request per press.
        if (!m_ctrlLHandled) {
            m_ctrlLHandled = true;
            emit PasswordRequested();
        }
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        ToggleWithSpace();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CVTRRMListCtrlEx::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_L) {
        m_ctrlLHandled = false;
        event->accept();
        return;
    }
    QTableView::keyReleaseEvent(event);
}

void CVTRRMListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) {
        emit CellDoubleClicked(index.row(), index.column());
        // An edit box the double click opened keeps the keys.
        if (!IsEditingMessage())
            setFocus();
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CVTRRMListCtrlEx::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* configure = menu.addAction(VtrString(637));
    QAction* reset = menu.addAction(VtrString(638));
    const int selected = static_cast<int>(SelectedRows().size());
    configure->setEnabled(selected <= 1);
    reset->setEnabled(selected >= 1 && (!m_resetEnabler || m_resetEnabler()));
    connect(configure, &QAction::triggered, this, &CVTRRMListCtrlEx::ConfigureRequested);
    connect(reset, &QAction::triggered, this, &CVTRRMListCtrlEx::ResetRequested);
    menu.addSeparator();
    QAction* compare = menu.addAction(QStringLiteral("Compare with\u2026"));
    compare->setObjectName(QStringLiteral("compareWith"));
    connect(compare, &QAction::triggered, this, &CVTRRMListCtrlEx::CompareRequested);
    menu.exec(event->globalPos());
}

void CVTRRMListCtrlEx::StartMessageEdit(int row, int limit)
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return;
    const QModelIndex cell = model()->index(row, RuleListModel::CustomMessageColumn);
    // Scrolled into view first: scrolling hides an edit box.
    EndMessageEdit();
    scrollTo(cell);
    m_editIndex = cell;
    m_oldMessage = cell.data().toString();
    const QRect r = visualRect(cell).adjusted(0, -2, 0, 2);
    m_editor->setGeometry(r);
    m_editor->setMaxLength(limit);
    m_editor->setText(m_oldMessage);
    m_editor->show();
    m_editor->setFocus();
    m_editor->selectAll();
}

void CVTRRMListCtrlEx::EndMessageEdit()
{
    if (m_editor->isVisible()) {
        // Focus first: hiding the focused box would hand focus on as Tab does,
        // which moves the current cell to the next row.
        setFocus();
        m_editor->hide();
    }
    m_editIndex = QPersistentModelIndex();
}

bool CVTRRMListCtrlEx::IsEditingMessage() const
{
    return m_editor->isVisible();
}

int CVTRRMListCtrlEx::CommitMessageEdit()
{
    const QPersistentModelIndex cell = m_editIndex;
    const QString text = m_editor->text();
    const QString old = m_oldMessage;
    EndMessageEdit();
    // Rows removed or reordered meanwhile leave nothing to store.
    if (!cell.isValid())
        return -1;
    if (m_commit)
        m_commit(cell.row(), old, text);
    return cell.row();
}

void CVTRRMListCtrlEx::scrollContentsBy(int dx, int dy)
{
    EndMessageEdit();
    QTableView::scrollContentsBy(dx, dy);
}

bool CVTRRMListCtrlEx::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_editor || event->type() != QEvent::KeyPress)
        return QTableView::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        CommitMessageEdit();
        return true;
    case Qt::Key_Escape:
        EndMessageEdit();
        return true;
    case Qt::Key_Down: {
        const int row = CommitMessageEdit();
        if (row >= 0 && row + 1 < model()->rowCount())
            StartMessageEdit(row + 1, kArrowMessageLimit);
        return true;
    }
    case Qt::Key_Up: {
        const int row = CommitMessageEdit();
        if (row > 0)
            StartMessageEdit(row - 1, kArrowMessageLimit);
        return true;
    }
    default:
        return QTableView::eventFilter(watched, event);
    }
}
