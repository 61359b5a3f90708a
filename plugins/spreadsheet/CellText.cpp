#include "CellText.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace Spreadsheet {
QString NumberText(double value)
{
    // Fixed notation with six decimals, independent of the process locale.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (result.ec != std::errc())
        return QString::number(value);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    if (text.find('.') != std::string_view::npos) {
        while (!text.empty() && text.back() == '0')
            text.remove_suffix(1);
        // The separator printed is always ".", so it goes whatever the
        // user's locale: "1234." would no longer match help id 1234.
        if (!text.empty() && text.back() == '.')
            text.remove_suffix(1);
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

int ColumnIndex(std::string_view letters)
{
    if (letters.empty() || letters.size() > 3)
        return -1;
    int index = 0;
    for (char c : letters) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            return -1;
        index = index * 26 + (c - 'A' + 1);
    }
    return index <= kMaxColumns ? index - 1 : -1;
}

bool ParseCellReference(std::string_view reference, int& column, int64_t& row)
{
    size_t letters = 0;
    while (letters < reference.size()
        && ((reference[letters] >= 'A' && reference[letters] <= 'Z')
            || (reference[letters] >= 'a' && reference[letters] <= 'z')))
        ++letters;
    column = ColumnIndex(reference.substr(0, letters));
    const std::string_view digits = reference.substr(letters);
    if (column < 0 || digits.empty() || digits.size() > 9 || digits[0] == '0')
        return false;
    row = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        row = row * 10 + (c - '0');
    }
    return true;
}

QString ColumnLetters(int column)
{
    QString letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

namespace {
bool IsDroppedControl(char16_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF;
}

QString WithoutControls(QString text)
{
    text.removeIf([](QChar c) { return IsDroppedControl(c.unicode()); });
    return text;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

QString CellTextFromUtf8(std::string_view utf8)
{
    return WithoutControls(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

QString CellTextFromXml(std::string_view utf8)
{
    // Spreadsheet XML writes characters that XML cannot hold as "_xHHHH_"
    // (a literal "_x" sequence is itself written "_x005F_x...").
    if (utf8.find("_x") == std::string_view::npos)
        return CellTextFromUtf8(utf8);
    QString text;
    text.reserve(static_cast<qsizetype>(utf8.size()));
    size_t start = 0;
    size_t i = 0;
    while (i + 7 <= utf8.size()) {
        if (utf8[i] == '_' && utf8[i + 1] == 'x' && utf8[i + 6] == '_') {
            int code = 0;
            bool hex = true;
            for (size_t k = i + 2; k < i + 6 && hex; ++k) {
                const int v = HexValue(utf8[k]);
                hex = v >= 0;
                code = code * 16 + v;
            }
            if (hex) {
                text += QString::fromUtf8(utf8.data() + start, static_cast<qsizetype>(i - start));
                text += QChar(static_cast<char16_t>(code));
                i += 7;
                start = i;
                continue;
            }
        }
        ++i;
    }
    text += QString::fromUtf8(utf8.data() + start, static_cast<qsizetype>(utf8.size() - start));
    return WithoutControls(std::move(text));
}

bool ColumnTable::Init(const QStringList& letters, QString& error)
{
    m_slot.assign(kMaxColumns, -1);
    m_cells.clear();
    m_columnCount = 0;
    for (const QString& letter : letters) {
        const QByteArray latin = letter.toLatin1();
        const int column = ColumnIndex(std::string_view(latin.constData(), static_cast<size_t>(latin.size())));
        if (column < 0 || letters.size() > kMaxColumns) {
            error = QStringLiteral("\"%1\" is not a column of a worksheet.").arg(letter);
            return false;
        }
        // A letter asked for twice fills the first of its lists; the later
        // ones stay empty rather than alias the same cells.
        if (m_slot[column] < 0)
            m_slot[column] = static_cast<int16_t>(m_columnCount);
        ++m_columnCount;
    }
    return true;
}

void ColumnTable::Set(int column, int64_t row, QString text)
{
    if (text.isEmpty() || !Wants(column) || row < 1)
        return;
    m_cells.push_back({ row, m_slot[column], std::move(text) });
}

Table ColumnTable::Take()
{
    std::vector<Cell> cells = std::exchange(m_cells, {});
    // Stable, so that of two texts given for one cell the later still wins.
    const auto byRow = [](const Cell& a, const Cell& b) { return a.row < b.row; };
    if (!std::is_sorted(cells.begin(), cells.end(), byRow))
        std::stable_sort(cells.begin(), cells.end(), byRow);

    // Each row with text takes the next index; the first pass sizes the
    // lists, the second fills them.
    const auto indexOf = [index = qsizetype(-1), lastRow = int64_t(0)](int64_t row) mutable {
        if (row != lastRow) {
            // Row 1 holds the headers and stays first even when it is empty.
            index = row == 1 ? 0 : std::max<qsizetype>(index + 1, 1);
            lastRow = row;
        }
        return index;
    };
    std::vector<qsizetype> sizes(static_cast<size_t>(m_columnCount), 0);
    auto sizing = indexOf;
    for (const Cell& cell : cells)
        sizes[static_cast<size_t>(cell.slot)] = sizing(cell.row) + 1;
    Table columns(m_columnCount);
    for (qsizetype c = 0; c < m_columnCount; ++c)
        columns[c].resize(sizes[static_cast<size_t>(c)]);
    auto filling = indexOf;
    for (Cell& cell : cells)
        columns[cell.slot][filling(cell.row)] = std::move(cell.text);
    return columns;
}
} // namespace Spreadsheet
