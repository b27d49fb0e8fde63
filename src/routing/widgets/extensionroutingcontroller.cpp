#include "routing/widgets/extensionroutingcontroller.h"

#include "platform/pathtext.h"

#include "platform/specialfolders.h"
#include "routing/choosefolder.h"
#include "routing/extensioncatalogue.h"
#include "settings/settingsrecord.h"
#include "ui/keyfilter.h"
#include "ui/textform.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

namespace vantora {

namespace {

const QString chooseDestinationTitle = QStringLiteral("転送先フォルダを選択して下さい");

// Focus that merely follows the window (a message box, another window) is no enter or exit of a field.
bool movesWithinWindow(const QEvent *event)
{
    const auto reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

bool isEditing(const QTableWidget *table)
{
    return table->editTriggers() != QAbstractItemView::NoEditTriggers;
}

void setTableEditing(QTableWidget *table, bool editing)
{
    if (editing) {
        table->setSelectionBehavior(QAbstractItemView::SelectItems);
        table->setEditTriggers(QAbstractItemView::AllEditTriggers);
    } else {
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
    }
}

// The folder column takes what the key column leaves, also when a vertical scroll bar narrows the
// viewport: a stretched last section keeps its set width as a floor and would need a horizontal bar.
// Neither column is sized by the user.
void fitFolderColumn(QTableWidget *table)
{
    QHeaderView *header = table->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
}

} // namespace

ExtensionRoutingController::ExtensionRoutingController(const DestinationArea &area, TExtForm *extForm,
                                                       SettingsRecord *settings, QObject *parent)
    : QObject(parent), m_ui(area), m_ext(extForm), m_settings(settings),
      m_routing(std::make_unique<ExtensionRouting>(*settings, static_cast<ExtensionChoices &>(*this)))
{
    m_routing->rowsChanged = [this](ExtensionTable table) { render(table); };

    connect(m_ext->AllFileCheckBox, &QCheckBox::toggled, this,
            &ExtensionRoutingController::AllFileCheckBoxClick);
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        connect(m_ext->typeCheckBoxes[t], &QCheckBox::toggled, this,
                [this, t] { m_routing->TypeCheckBoxClick(t, dialogFolder()); });
    }
    for (QLineEdit *edit : {m_ext->ExtEdit1, m_ext->ExtEdit2}) {
        edit->setMaxLength(FreeExtensionMaxLength);
        installKeyFilter(edit, &ExtensionKeyFilter);
        edit->installEventFilter(this);
    }
    m_ui.TransferEdit1->installEventFilter(this);

    for (ExtensionTable table : {ExtensionTable::Main, ExtensionTable::Dialog}) {
        QTableWidget *w = tableOf(table);
        fitFolderColumn(w);
        w->viewport()->installEventFilter(this);
        connect(w, &QTableWidget::cellClicked, this, [this, table] { ExtListEditorClick(table); });
        connect(w, &QTableWidget::itemChanged, this, [this, table](QTableWidgetItem *item) {
            typedDestination(table, item->row(), item->column());
        });
    }

    connect(m_ui.BitBtn5, &QPushButton::clicked, this, &ExtensionRoutingController::mainChooseFolder);
    connect(m_ui.BitBtn7, &QPushButton::clicked, this, [this] { mainSpecialFolder(CSIDL_PERSONAL); });
    connect(m_ui.BitBtn8, &QPushButton::clicked, this, [this] { mainSpecialFolder(CSIDL_MYPICTURES); });
    connect(m_ui.BitBtn9, &QPushButton::clicked, this, [this] { mainSpecialFolder(CSIDL_MYVIDEO); });
    connect(m_ui.SpeedButton1, &QToolButton::clicked, this, [this] {
        m_routing->SetSelectedRowDestination(ExtensionTable::Main, m_ui.ExtListEditor->currentRow(),
                                             m_ui.TransferEdit1->text());
    });
    connect(m_ui.SpeedButton2, &QToolButton::clicked, this,
            [this] { m_routing->SetAllRowDestinations(ExtensionTable::Main, m_ui.TransferEdit1->text()); });
    connect(m_ui.BitBtn11, &QPushButton::clicked, this, &ExtensionRoutingController::showExtensionDialog);

    connect(m_ext->BitBtn5, &QPushButton::clicked, this, &ExtensionRoutingController::dialogChooseFolder);
    connect(m_ext->BitBtn7, &QPushButton::clicked, this, [this] { dialogSpecialFolder(CSIDL_PERSONAL); });
    connect(m_ext->BitBtn8, &QPushButton::clicked, this, [this] { dialogSpecialFolder(CSIDL_MYPICTURES); });
    connect(m_ext->BitBtn9, &QPushButton::clicked, this, [this] { dialogSpecialFolder(CSIDL_MYVIDEO); });
    connect(m_ext->BitBtn2, &QPushButton::clicked, this, [this] {
        m_routing->SetSelectedRowDestination(ExtensionTable::Dialog, m_ext->ExtListEditor->currentRow(),
                                             dialogFolder());
    });
    connect(m_ext->BitBtn3, &QPushButton::clicked, this,
            [this] { m_routing->SetAllRowDestinations(ExtensionTable::Dialog, dialogFolder()); });

    connect(m_ext, &TExtForm::aboutToShow, this, &ExtensionRoutingController::FormShow);
    connect(m_ext, &TExtForm::closing, this, &ExtensionRoutingController::FormCloseQuery);
}

ExtensionRoutingController::~ExtensionRoutingController() = default;

QStringList ExtensionRoutingController::folderSettingNames()
{
    QStringList names;
    for (const CatalogueKey &k : CatalogueKeys())
        names << k.destinationSetting();
    for (const FreeExtensionSlot &slot : FreeExtensionSlots())
        names << QLatin1String(slot.destinationSetting);
    names << QLatin1String(AllFilesDestinationSetting);
    return names;
}

void ExtensionRoutingController::keepFolderFields()
{
    m_keptFolders.clear();
    for (const QString &name : folderSettingNames())
        m_keptFolders << *m_settings->textField(name);
}

void ExtensionRoutingController::applySettingsToControls()
{
    m_ui.TransferEdit1->setText(m_settings->TransferEditText);
    for (int t = 0; t < ExtensionTypeCount; ++t)
        m_ext->typeCheckBoxes[t]->setChecked(m_settings->types[t].checked);
    m_ext->ExtEdit1->setText(m_settings->ExtEdit1Text);
    m_ext->ExtEdit2->setText(m_settings->ExtEdit2Text);
    m_ext->AllFileCheckBox->setChecked(m_settings->AllFileChecked);
}

void ExtensionRoutingController::restoreFolderFields()
{
    const QStringList names = folderSettingNames();
    if (m_keptFolders.size() != names.size())
        return;
    for (int i = 0; i < names.size(); ++i)
        *m_settings->textField(names.at(i)) = m_keptFolders.at(i);
}

void ExtensionRoutingController::rebuildTable()
{
    m_routing->rebuildFromSettings();
}

void ExtensionRoutingController::applySettings()
{
    keepFolderFields();
    applySettingsToControls();
    restoreFolderFields();
    rebuildTable();
}

ExtensionRows ExtensionRoutingController::mainTableRows() const
{
    return m_routing->rows(ExtensionTable::Main);
}

ExtensionRows ExtensionRoutingController::dialogTableRows() const
{
    return m_routing->rows(ExtensionTable::Dialog);
}

bool ExtensionRoutingController::allFilesMode() const
{
    return m_settings->AllFileChecked;
}

QString ExtensionRoutingController::LookupExtensionDestination(const QString &fileName) const
{
    return m_routing->LookupExtensionDestination(fileName);
}

void ExtensionRoutingController::showExtensionDialog()
{
    m_ext->exec();
}

bool ExtensionRoutingController::allFilesTicked() const
{
    return m_ext->AllFileCheckBox->isChecked();
}

bool ExtensionRoutingController::typeTicked(int type) const
{
    return m_ext->typeCheckBoxes[type]->isChecked();
}

QString ExtensionRoutingController::freeText(int slot) const
{
    return (slot == 0 ? m_ext->ExtEdit1 : m_ext->ExtEdit2)->text();
}

void ExtensionRoutingController::emptySecondFreeText()
{
    m_ext->ExtEdit2->clear();
}

void ExtensionRoutingController::tickAllFiles()
{
    m_ext->AllFileCheckBox->setChecked(true);
}

void ExtensionRoutingController::tickType(int type)
{
    m_ext->typeCheckBoxes[type]->setChecked(true);
}

QString ExtensionRoutingController::dialogFolder() const
{
    return m_ext->TransferEdit1->text();
}

QTableWidget *ExtensionRoutingController::tableOf(ExtensionTable table) const
{
    return table == ExtensionTable::Main ? m_ui.ExtListEditor : m_ext->ExtListEditor;
}

void ExtensionRoutingController::render(ExtensionTable table)
{
    QTableWidget *w = tableOf(table);
    const ExtensionRows &rows = m_routing->rows(table);
    const bool wasRendering = m_rendering;
    m_rendering = true;
    w->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        QTableWidgetItem *key = w->item(r, 0);
        if (!key) {
            key = new QTableWidgetItem;
            key->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            w->setItem(r, 0, key);
        }
        key->setText(rows.at(r).key);
        QTableWidgetItem *folder = w->item(r, 1);
        if (!folder) {
            folder = new QTableWidgetItem;
            folder->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            w->setItem(r, 1, folder);
        }
        folder->setText(rows.at(r).folder);
    }
    // Like the grid this stands for, a table with rows always has a current row.
    if (!rows.isEmpty() && w->currentRow() < 0)
        w->setCurrentCell(0, 0);
    m_rendering = wasRendering;
}

void ExtensionRoutingController::typedDestination(ExtensionTable table, int row, int column)
{
    if (m_rendering || column != 1)
        return;
    m_routing->setTypedDestination(table, row, tableOf(table)->item(row, column)->text());
}

void ExtensionRoutingController::AllFileCheckBoxClick()
{
    m_routing->AllFileCheckBoxClick(dialogFolder());
    const bool enabled = !m_ext->AllFileCheckBox->isChecked();
    for (QCheckBox *box : m_ext->typeCheckBoxes)
        box->setEnabled(enabled);
    m_ext->ExtEdit1->setEnabled(enabled);
    m_ext->ExtEdit2->setEnabled(enabled);
}

void ExtensionRoutingController::ExtEditEnter(int slot)
{
    m_routing->FreeExtensionEnter(slot, dialogFolder());
}

void ExtensionRoutingController::ExtEditExit(int slot)
{
    m_routing->FreeExtensionExit(slot, dialogFolder());
}

void ExtensionRoutingController::ExtListEditorClick(ExtensionTable table)
{
    QTableWidget *w = tableOf(table);
    const int row = w->currentRow() + 1; // data rows count from 1 below the title row
    if (row == m_lastClickedExtRow) {
        w->setFocus();
        w->setSelectionBehavior(QAbstractItemView::SelectItems);
        w->setCurrentCell(row - 1, 1);
        setTableEditing(w, true);
        if (QTableWidgetItem *item = w->item(row - 1, 1))
            w->editItem(item);
    } else {
        setTableEditing(w, false);
        // Moving off the destination cell commits and closes an open editor.
        if (w->currentColumn() == 1)
            w->setCurrentCell(w->currentRow(), 0);
    }
    m_lastClickedExtRow = row;
}

void ExtensionRoutingController::FormShow()
{
    m_ext->Label2->setText(m_sourceFolder ? m_sourceFolder() : QString());
    m_ext->TransferEdit1->setText(m_ui.TransferEdit1->text());
    m_lastClickedExtRow = 0;
}

void ExtensionRoutingController::FormCloseQuery()
{
    // A free extension still being typed is taken as if the focus had left it.
    QWidget *focus = m_ext->focusWidget();
    if (focus == m_ext->ExtEdit1 || focus == m_ext->ExtEdit2) {
        const bool notified = focus->hasFocus();
        focus->clearFocus();
        if (!notified)
            focus == m_ext->ExtEdit1 ? ExtEdit1Exit() : ExtEdit2Exit();
    }
    m_ui.TransferEdit1->setText(dialogFolder());
}

QString ExtensionRoutingController::destinationFolder() const
{
    return m_ui.TransferEdit1->text();
}

void ExtensionRoutingController::tidyDestinationFolder()
{
    m_ui.TransferEdit1->setText(withTrailingSlash(m_ui.TransferEdit1->text()));
}

QStringList ExtensionRoutingController::mainTableMasks() const
{
    QStringList masks;
    for (int row = 0; row < m_ui.ExtListEditor->rowCount(); ++row) {
        const QTableWidgetItem *item = m_ui.ExtListEditor->item(row, 0);
        masks.append(item ? item->text() : QString());
    }
    return masks;
}

QString ExtensionRoutingController::firstRowFolder() const
{
    const QTableWidgetItem *item =
        m_ui.ExtListEditor->rowCount() > 0 ? m_ui.ExtListEditor->item(0, 1) : nullptr;
    return item ? item->text() : QString();
}

void ExtensionRoutingController::mainChooseFolder()
{
    const QString chosen = ChooseFolder(chooseDestinationTitle, m_ui.TransferEdit1->text());
    if (chosen.isEmpty())
        return;
    m_ui.TransferEdit1->setText(withTrailingSlash(chosen));
    m_settings->TransferEditText = m_ui.TransferEdit1->text();
}

void ExtensionRoutingController::mainSpecialFolder(int csidl)
{
    m_ui.TransferEdit1->setText(GetSpecialFolderPath(csidl));
    m_settings->TransferEditText = m_ui.TransferEdit1->text();
}

void ExtensionRoutingController::TransferEdit1Exit()
{
    tidyDestinationFolder();
    m_settings->TransferEditText = m_ui.TransferEdit1->text();
}

void ExtensionRoutingController::dialogChooseFolder()
{
    const QString chosen = ChooseFolder(chooseDestinationTitle, dialogFolder());
    if (chosen.isEmpty())
        return;
    m_ext->TransferEdit1->setText(withTrailingSlash(chosen));
    m_settings->TransferEditText = m_ext->TransferEdit1->text();
}

void ExtensionRoutingController::dialogSpecialFolder(int csidl)
{
    m_ext->TransferEdit1->setText(GetSpecialFolderPath(csidl));
}

bool ExtensionRoutingController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        for (ExtensionTable table : {ExtensionTable::Main, ExtensionTable::Dialog}) {
            QTableWidget *w = tableOf(table);
            if (watched != w->viewport() || !isEditing(w))
                continue;
            // A press on another row leaves editing before the view sees it: otherwise the editor
            // would move to that row's folder cell and swallow the click that closes it.
            const auto *press = static_cast<const QMouseEvent *>(event);
            const QModelIndex pressed = w->indexAt(press->position().toPoint());
            if (pressed.isValid() && pressed.row() != w->currentRow())
                setTableEditing(w, false);
        }
    }
    const bool in = event->type() == QEvent::FocusIn;
    const bool out = event->type() == QEvent::FocusOut;
    if ((in || out) && movesWithinWindow(event)) {
        if (watched == m_ext->ExtEdit1) {
            in ? ExtEdit1Enter() : ExtEdit1Exit();
        } else if (watched == m_ext->ExtEdit2) {
            in ? ExtEdit2Enter() : ExtEdit2Exit();
        } else if (watched == m_ui.TransferEdit1 && out) {
            TransferEdit1Exit();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vantora
