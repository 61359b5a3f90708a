#include "modules/ui/VTRRuleRegDlg.h"

#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "Utilities/FileDialogService.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"
#include "modules/ModuleLists.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Item data of a loaded row: its library handle.
constexpr int kHandleRole = Qt::UserRole + 1;

struct IconLook
{
    const char* letters;
    QRgb colour;
};

// The known module names (strings 32811 to 32833) and how their icons look.
const QHash<QString, IconLook>& IconTable()
{
    static const QHash<QString, IconLook> table = [] {
        const IconLook looks[] = {
            { "Mi", 0xff2f6db5 },
            { "Ge", 0xff5a6b7d },
            { "Tu", 0xff7a4fb0 },
            { "As", 0xff2e8b57 },
            { "AM", 0xffd9822b },
            { "Ca", 0xff8b5a2b },
            { "SM", 0xff1f8fa3 },
            { "IM", 0xffc0392b },
            { "DC", 0xff9c6b30 },
            { "Tb", 0xff4b7f52 },
            { "SC", 0xffb08d57 },
            { "IC", 0xff8e6c3a },
            { "Co", 0xff34495e },
            { "SF", 0xff16a085 },
            { "To", 0xff6c5ce7 },
            { "We", 0xffe67e22 },
            { "Th", 0xffd35400 },
            { "Fo", 0xff7f8c8d },
            { "VI", 0xff2980b9 },
            { "Cb", 0xff27ae60 },
            { "MC", 0xff95a5a6 },
            { "MD", 0xff7f8c8d },
            { "DB", 0xff3d5a80 },
        };
        QHash<QString, IconLook> t;
        int id = 32811;
        for (const IconLook& look : looks)
            t.insert(VtrString(id++), look);
        return t;
    }();
    return table;
}

// Names without an icon keep their text in line with the others.
QIcon IconOrBlank(const QString& name)
{
    QIcon icon = CVTRRuleRegDlg::ModuleIcon(name);
    if (icon.isNull()) {
        QPixmap blank(32, 32);
        blank.fill(Qt::transparent);
        icon = QIcon(blank);
    }
    return icon;
}

void* HandleOf(const QListWidgetItem* item)
{
    return item ? reinterpret_cast<void*>(item->data(kHandleRole).value<quintptr>()) : nullptr;
}
} // namespace

QIcon CVTRRuleRegDlg::ModuleIcon(const QString& displayName)
{
    const auto it = IconTable().constFind(displayName);
    if (it == IconTable().constEnd())
        return {};
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor::fromRgba(it->colour));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromLatin1(it->letters));
    painter.end();
    return QIcon(pixmap);
}

CVTRRuleRegDlg::CVTRRuleRegDlg(std::unique_ptr<ModuleRegistration> registration, QWidget* parent)
    : QDialog(parent)
    , m_reg(std::move(registration))
{
    Build();
    m_reg->Open();
    setWindowTitle(m_reg->Config().title);
    Refill();
    m_newFile->setFocus();
}

CVTRRuleRegDlg::~CVTRRuleRegDlg() = default;

void CVTRRuleRegDlg::Build()
{
    setObjectName(QStringLiteral("CVTRRuleRegDlg"));
    m_loaded = new QListWidget(this);
    m_unloaded = new QListWidget(this);
    for (QListWidget* list : { m_loaded, m_unloaded }) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setIconSize(QSize(20, 20));
        list->setMinimumWidth(220);
    }
    m_loadOne = new QPushButton(QStringLiteral("<"), this);
    m_loadAll = new QPushButton(QStringLiteral("<<"), this);
    m_unloadOne = new QPushButton(QStringLiteral(">"), this);
    m_unloadAll = new QPushButton(QStringLiteral(">>"), this);
    m_moduleFile = new QLineEdit(this);
    m_moduleFile->setReadOnly(true);
    m_summary = new QPlainTextEdit(this);
    m_summary->setReadOnly(true);
    m_summary->setMaximumHeight(70);
    m_newFile = new QLineEdit(this);
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_browse->setMaximumWidth(36);
    m_load = new QPushButton(QStringLiteral("Load"), this);
    m_reset = new QPushButton(QStringLiteral("Reset"), this);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (QPushButton* b : { m_loadOne, m_loadAll, m_unloadOne, m_unloadAll, m_browse, m_load, m_reset, m_ok, m_cancel })
        b->setAutoDefault(false);

    auto* moves = new QVBoxLayout;
    moves->addStretch();
    for (QPushButton* b : { m_loadOne, m_loadAll, m_unloadOne, m_unloadAll })
        moves->addWidget(b);
    moves->addStretch();

    // Alt with the underlined letter reaches each list and the path field.
    auto* loadedLabel = new QLabel(QStringLiteral("&Loaded Modules:"), this);
    loadedLabel->setBuddy(m_loaded);
    auto* unloadedLabel = new QLabel(QStringLiteral("&Unloaded Modules:"), this);
    unloadedLabel->setBuddy(m_unloaded);
    auto* lists = new QGridLayout;
    lists->addWidget(loadedLabel, 0, 0);
    lists->addWidget(unloadedLabel, 0, 2);
    lists->addWidget(m_loaded, 1, 0);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(m_unloaded, 1, 2);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Module File:"), this), 0, 0);
    fields->addWidget(m_moduleFile, 0, 1, 1, 3);
    fields->addWidget(new QLabel(QStringLiteral("Summary:"), this), 1, 0, Qt::AlignTop);
    fields->addWidget(m_summary, 1, 1, 1, 3);
    auto* newFileLabel = new QLabel(QStringLiteral("Load &New Module File:"), this);
    newFileLabel->setBuddy(m_newFile);
    fields->addWidget(newFileLabel, 2, 0);
    fields->addWidget(m_newFile, 2, 1);
    fields->addWidget(m_browse, 2, 2);
    fields->addWidget(m_load, 2, 3);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_reset);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(m_loaded, &QListWidget::currentRowChanged, this, [this] { OnLoadedSelected(); });
    connect(m_unloaded, &QListWidget::currentRowChanged, this, [this] { OnUnloadedSelected(); });
    connect(m_loaded, &QListWidget::itemDoubleClicked, this, [this] { OnUnloadOne(); });
    connect(m_unloaded, &QListWidget::itemDoubleClicked, this, [this] { OnLoadOne(); });
    connect(m_loadOne, &QPushButton::clicked, this, [this] { OnLoadOne(); });
    connect(m_loadAll, &QPushButton::clicked, this, [this] { OnLoadAll(); });
    connect(m_unloadOne, &QPushButton::clicked, this, [this] { OnUnloadOne(); });
    connect(m_unloadAll, &QPushButton::clicked, this, [this] { OnUnloadAll(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_load, &QPushButton::clicked, this, [this] { OnLoad(); });
    connect(m_reset, &QPushButton::clicked, this, [this] { OnReset(); });
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_newFile, &QLineEdit::textChanged, this, [this] { OnNewFileEdited(); });
}

void CVTRRuleRegDlg::FillLists()
{
    m_filling = true;
    m_loaded->clear();
    for (const ModuleRegistration::Row& row : m_reg->LoadedRows()) {
        auto* item = new QListWidgetItem(IconOrBlank(row.name), row.name, m_loaded);
        item->setData(kHandleRole, QVariant::fromValue(reinterpret_cast<quintptr>(row.handle)));
    }
    m_unloaded->clear();
    for (const QString& name : m_reg->UnloadedRows())
        new QListWidgetItem(IconOrBlank(name), name, m_unloaded);
    m_filling = false;
}

// The lists as they open: first rows selected, OK and Reset off until a change.
void CVTRRuleRegDlg::Refill()
{
    FillLists();
    m_moduleFile->clear();
    m_summary->clear();
    m_unloaded->setCurrentRow(m_unloaded->count() > 0 ? 0 : -1);
    m_loaded->setCurrentRow(m_loaded->count() > 0 ? 0 : -1);
    UpdateButtons();
}

void CVTRRuleRegDlg::UpdateButtons()
{
    m_unloadOne->setEnabled(m_loaded->currentRow() >= 0);
    m_unloadAll->setEnabled(m_loaded->count() > 0);
    m_loadOne->setEnabled(m_unloaded->currentRow() >= 0);
    m_loadAll->setEnabled(m_unloaded->count() > 0);
    m_ok->setEnabled(m_reg->OkEnabled());
    m_reset->setEnabled(m_reg->ResetEnabled());
    const bool text = !m_newFile->text().isEmpty();
    m_load->setEnabled(text);
    m_load->setDefault(text);
    m_ok->setDefault(!text);
    if (m_loaded->count() == 0) {
        m_moduleFile->clear();
        m_summary->clear();
    }
}

void CVTRRuleRegDlg::ShowModule(void* handle)
{
    m_moduleFile->clear();
    m_summary->clear();
    if (!handle)
        return;
    m_summary->setPlainText(ModuleRegistration::ModuleSummary(handle));
    m_moduleFile->setText(VtrLibrary::FileName(handle));
}

void CVTRRuleRegDlg::OnLoadedSelected()
{
    if (m_filling)
        return;
    if (QListWidgetItem* item = m_loaded->currentItem())
        ShowModule(HandleOf(item));
    UpdateButtons();
}

void CVTRRuleRegDlg::OnUnloadedSelected()
{
    if (m_filling)
        return;
    if (QListWidgetItem* item = m_unloaded->currentItem())
        ShowModule(m_reg->DefaultHandleNamed(item->text()));
    UpdateButtons();
}

void CVTRRuleRegDlg::OnLoadOne()
{
    const int row = m_unloaded->currentRow();
    if (row < 0)
        return;
    m_reg->LoadUnloadedRow(row);
    FillLists();
    m_loaded->setCurrentRow(m_loaded->count() - 1);
    m_unloaded->setCurrentRow(m_unloaded->count() > 0 ? 0 : -1);
    OnLoadedSelected();
}

void CVTRRuleRegDlg::OnLoadAll()
{
    m_reg->LoadAllDefaults();
    FillLists();
    m_loaded->setCurrentRow(m_loaded->count() - 1);
    OnLoadedSelected();
}

void CVTRRuleRegDlg::OnUnloadOne()
{
    const int row = m_loaded->currentRow();
    if (row < 0)
        return;
    m_reg->UnloadRow(row);
    FillLists();
    m_loaded->setCurrentRow(std::min(row, m_loaded->count() - 1));
    m_unloaded->setCurrentRow(m_unloaded->count() > 0 ? 0 : -1);
    OnLoadedSelected();
}

void CVTRRuleRegDlg::OnUnloadAll()
{
    m_reg->UnloadAll();
    FillLists();
    m_unloaded->setCurrentRow(m_unloaded->count() > 0 ? 0 : -1);
    OnUnloadedSelected();
}

void CVTRRuleRegDlg::OnBrowse()
{
    const QString text = m_newFile->text();
    QString folder = CVTRFrameWrkUtils::GetProgramFolder();
    QString name;
    if (!text.isEmpty() && QFileInfo::exists(text)) {
        const QFileInfo info(text);
        folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        name = info.isDir() ? QString() : info.fileName();
    }
    const QString suffix = QString::fromLatin1(VtrLibrary::kSuffix);
    const QString filter = QStringLiteral("Rule Modules(*%1)|*%1||").arg(suffix);
    QString chosen;
    if (GetFileDialogService()->AskPath(
            true, folder, VtrString(32838), suffix.mid(1), name, FileDialogFlags::kFileMustExist, filter, chosen)
            == 1
        && !chosen.isEmpty())
        m_newFile->setText(chosen);
}

void CVTRRuleRegDlg::OnLoad()
{
    const QString path = m_newFile->text();
    if (path.isEmpty())
        return;
    const bool added = m_reg->AddByPath(path, true);
    m_newFile->clear();
    FillLists();
    m_loaded->setCurrentRow(added ? m_loaded->count() - 1 : (m_loaded->count() > 0 ? 0 : -1));
    m_unloaded->setCurrentRow(m_unloaded->count() > 0 ? 0 : -1);
    OnLoadedSelected();
}

void CVTRRuleRegDlg::OnReset()
{
    m_reg->Reset();
    Refill();
}

void CVTRRuleRegDlg::OnNewFileEdited()
{
    UpdateButtons();
}

void CVTRRuleRegDlg::accept()
{
    if (!m_reg->OkEnabled())
        return;
    if (m_confirmOk && !m_confirmOk(*m_reg))
        return;
    if (!m_reg->Save()) {
        // The modules would be reloaded from a list that is not on disk, and
        // the next start would load the old one: nothing is applied.
        const QString file = GetConfigModuleIniPath();
        LogWithText(QStringLiteral("The module list could not be saved in %s; the registration is not applied"), file);
        ShowMessage(QStringLiteral("The module list could not be saved in \"%1\": the file cannot be read or written. "
                                   "Nothing has been changed. Make the file readable and writable, then press OK "
                                   "again, or press Cancel.")
                        .arg(file),
            VtrString(StrId::AppCaption), MsgIcon::Error);
        return;
    }
    QDialog::accept();
}

void CVTRRuleRegDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        if (m_help)
            m_help(m_reg->Config().helpId);
        return;
    }
    QDialog::keyPressEvent(event);
}

CVTRRuleConfigModuleRegDlg::CVTRRuleConfigModuleRegDlg(ModuleSet& modules, QWidget* parent)
    : CVTRRuleRegDlg(std::make_unique<ModuleRegistration>(ModuleRegConfig::For(ModuleKind::Rules),
                         modules.configuredRuleModules, modules.loadedRuleModules),
        parent)
{ }

CVTRRuleDBModuleRegDlg::CVTRRuleDBModuleRegDlg(ModuleSet& modules, QWidget* parent)
    : CVTRRuleRegDlg(std::make_unique<ModuleRegistration>(ModuleRegConfig::For(ModuleKind::Databases),
                         modules.configuredDbModules, modules.loadedDbModules),
        parent)
{ }
