#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "views/RuleListFilter.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringList>

class CVtrRule;

// The rows of the rule list: one per rule pointer, with its check box. The
// rules are owned elsewhere (modules or the document). Sorting and filtering
// happen here on precomputed keys, so big lists stay cheap.
class RuleListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { RuleColumn = 0, CategoryColumn, ModuleColumn, CriticalityColumn, CustomMessageColumn, ColumnCount };
    // Column 0: true when the row's settings differ from its module's defaults.
    static constexpr int DiffersRole = Qt::UserRole + 1;

    struct Row
    {
        CVtrRule* rule = nullptr;
        bool checked = false;
        // The keys below are already the rule's: AppendRows leaves them.
        bool keyed = false;
        // Sort keys, taken when the row is added (see RefreshKeys).
        uint32_t nameKey = 0;
        uint32_t categoryKey = 0;
        uint32_t moduleKey = 0;
        int32_t criticality = 0;
        // Place in the owner's full row set (see NumberRows).
        uint32_t slot = 0;
    };

    explicit RuleListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A check box change (Qt::CheckStateRole) is handed to the check handler,
    // which applies it to the document.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Called after a row's check box changed, with the row.
    void SetCheckHandler(std::function<void(int)> handler) { m_onCheck = std::move(handler); }
    // Handles a change of many check boxes at once (rows, new state); without
    // one, SetCheckedMany changes them one by one.
    void SetBatchCheckHandler(std::function<void(const QList<int>&, bool)> handler)
    {
        m_onCheckMany = std::move(handler);
    }
    // Changes the check boxes of many rows as the user would.
    void SetCheckedMany(const QList<int>& rows, bool checked);

    // Rows.
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    CVtrRule* RuleAt(int row) const;
    bool IsChecked(int row) const;
    // Changes a check box as the user would (the handler runs); false for a bad row.
    bool SetChecked(int row, bool checked);
    // Changes a check box without telling anyone (false for a bad row); for
    // changes of many rows, announced once with AnnounceChecks.
    bool SetCheckedQuietly(int row, bool checked);
    // Tells the views that check boxes of rows first..last changed.
    void AnnounceChecks(int first, int last);
    // Tells the views that the texts of columns 0 to 3 of every row changed.
    void AnnounceTexts();
    // Appends rows at the end, taking the keys of those not keyed yet.
    void AppendRows(std::vector<Row> rows);
    // Keeps only the rows for which keep(row) is true (order kept).
    void KeepRows(const std::function<bool(const Row&)>& keep);
    // Keeps only the rows one of whose columns 0 to 3 contains the text
    // (both in lower case); lower-cased texts are computed once per text.
    void KeepRowsContaining(const QString& lowerText);
    // Replaces every row by the rows of from that KeepRowsContaining would keep.
    void SetRowsContaining(const std::vector<Row>& from, const QString& lowerText);
    // Removes every row.
    void Clear();
    // Removes every row, handing them over.
    std::vector<Row> TakeRows();
    // Replaces every row (their keys are kept as they are).
    void SetRows(const std::vector<Row>& rows);
    // Gives every row its position as slot.
    void NumberRows();
    const std::vector<Row>& Rows() const { return m_rows; }

    // Text of a cell as listed.
    QString CellText(int row, int column) const;
    // The word of a criticality code; any value outside 1..5 is "Medium".
    static QString CriticalityWord(int criticality);
    // Custom message lookup for column 4 (empty text without one). Each
    // rule's message is asked for once, when first shown.
    void SetCustomMessageLookup(std::function<QString(const CVtrRule*)> lookup) { m_lookup = std::move(lookup); }
    // Forgets the messages asked for so far (after they changed in the database).
    void ForgetCustomMessages() { m_customMessages.clear(); }
    // Shows text as a row's custom message (after it was stored or edited);
    // false for a bad row.
    bool SetCustomMessage(int row, const QString& text);

    // Keeps only the rows the filter bar's filter passes, in one pass: each
    // distinct name, category and module text is matched once, and a rule's
    // custom message is looked up once (as column 4 does), only when its
    // other texts do not match.
    void KeepRowsPassing(const RuleListFilter& filter);
    // The custom message column 4 shows for a rule.
    QString MessageOf(const CVtrRule* rule) const;

    // The rules whose settings differ from their module's defaults, each with
    // the settings that differ; the rows show a marker and name them in
    // their tooltip. Replaces what was set before.
    void SetDiffering(QHash<const CVtrRule*, QStringList> differing);
    // The settings of the rule that differ, or null when none do (or none were found).
    const QStringList* DifferingSettings(const CVtrRule* rule) const;
    // The tooltip line naming them; empty when none differ.
    QString DifferingText(const CVtrRule* rule) const;

    // Orders the rows by a column (0..3); descending reverses the order.
    // Column 0 orders ticked rows first, by display name, and unticked rows
    // equal. The sort is stable: rows that compare equal keep their order.
    // Check boxes and selected flags are kept equal by the check handler,
    // so the sort reads neither the rules nor their flags: it works on the
    // rows' own keys, which keeps it linear and in cache for big lists.
    void SortRows(int column, bool descending);
    // Takes the sort keys of every row again; call after changing the
    // display name, category, module name or criticality of listed rules.
    void RefreshKeys();
    // Takes one row's keys again and tells the views its cells changed;
    // call after that row's rule changed its texts. False for a bad row.
    bool RefreshRow(int row);

private:
    // The distinct texts of one column, each with its place in sorted order
    // (recomputed only after new texts arrived).
    class KeyDictionary
    {
    public:
        uint32_t Key(const QString& text);
        // Room for that many more texts.
        void Reserve(size_t more);
        const std::vector<uint32_t>& Ranks();
        uint32_t Size() const { return static_cast<uint32_t>(m_values.size()); }
        // For every key, 1 when its text in lower case contains lowerText
        // and 0 when not.
        std::vector<signed char> Containing(const QString& lowerText);
        // For every key, 1 when its text is text and 0 when not.
        std::vector<signed char> Equal(const QString& text) const;

    private:
        // Every text in lower case as UTF-8, back to back, so that a search
        // reads them in order from one compact buffer; m_lowerStart has one
        // entry more than there are texts.
        std::string m_lowerText;
        std::vector<size_t> m_lowerStart;
        QHash<QString, uint32_t> m_keys;
        std::vector<QString> m_values;
        std::vector<uint32_t> m_ranks;
        bool m_dirty = false;
        // The text asked for last and its key: rows in a row mostly share
        // the one text of their category or module.
        QString m_lastText;
        uint32_t m_lastKey = 0;
    };
    void TakeKeys(Row& row);
    // Whether a row has a column 0 to 3 that contains a text, decided per
    // distinct text beforehand so that each row costs a few look-ups.
    struct TextFilter
    {
        std::vector<signed char> name;
        std::vector<signed char> category;
        std::vector<signed char> module;
        signed char criticality[6] = {};
        bool operator()(const Row& row) const;
    };
    TextFilter FilterFor(const QString& lowerText);

    KeyDictionary m_names;
    KeyDictionary m_categories;
    KeyDictionary m_modules;
    std::vector<Row> m_rows;
    std::function<void(int)> m_onCheck;
    std::function<void(const QList<int>&, bool)> m_onCheckMany;
    std::function<QString(const CVtrRule*)> m_lookup;
    mutable QHash<const CVtrRule*, QString> m_customMessages;
    QHash<const CVtrRule*, QStringList> m_differing;
};
