#pragma once

#include "routing/extensionrouting.h"
#include "ui/mainformareas.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include <memory>

class QTableWidget;

namespace vantora {

struct SettingsRecord;
class TExtForm;

// The behaviour of the extension choices, both extension tables and the destination buttons of the
// main window and the extension dialog. The dialog's counting and listing buttons and the drive-watch
// steps of its show and close belong elsewhere: attach to TExtForm::aboutToShow / closing, which run
// after this controller's own steps.
class ExtensionRoutingController final : public QObject, private ExtensionChoices
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ExtensionRoutingController)

public:
    ExtensionRoutingController(const DestinationArea &area, TExtForm *extForm, SettingsRecord *settings,
                               QObject *parent = nullptr);
    ~ExtensionRoutingController() override;

    // Start-up, in this order (the other areas' steps may stand between them): keep the 34 folder
    // settings, put the record's routing values into the controls (the boxes' handlers run and disturb
    // the folder settings), put the folder settings back, rebuild the table.
    void keepFolderFields();
    void applySettingsToControls();
    void restoreFolderFields();
    void rebuildTable();
    // All four at once.
    void applySettings();

    // The rows of the main window's table: the masks and destinations of a run.
    ExtensionRows mainTableRows() const;
    // The rows of the dialog's table: the masks of the dialog's own counting and listing.
    ExtensionRows dialogTableRows() const;
    // Whether the main table is the all-files row ("AllFileChecked").
    bool allFilesMode() const;
    // LookupExtensionDestination over the main table.
    QString LookupExtensionDestination(const QString &fileName) const;

    // The source folder the dialog shows, asked of the source area when the dialog opens.
    void setSourceFolderQuestion(std::function<QString()> sourceFolder)
    {
        m_sourceFolder = std::move(sourceFolder);
    }

    // The destination folder as TransferEdit1 shows it; tidying gives it its trailing "/".
    QString destinationFolder() const;
    void tidyDestinationFolder();
    // The main table's masks, row by row, and the first row's folder ("" without one).
    QStringList mainTableMasks() const;
    QString firstRowFolder() const;

    // BitBtn11: the dialog, modally.
    void showExtensionDialog();

    int lastClickedExtRow() const { return m_lastClickedExtRow; }
    ExtensionRouting &routing() { return *m_routing; }

    // The 34 folder settings: the 31 catalogue keys, "Ext1Dir", "Ext2Dir", "AllFileDir".
    static QStringList folderSettingNames();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // ExtensionChoices
    bool allFilesTicked() const override;
    bool typeTicked(int type) const override;
    QString freeText(int slot) const override;
    void emptySecondFreeText() override;
    void tickAllFiles() override;
    void tickType(int type) override;

    QString dialogFolder() const;
    QTableWidget *tableOf(ExtensionTable table) const;
    void render(ExtensionTable table);
    void typedDestination(ExtensionTable table, int row, int column);

    void AllFileCheckBoxClick();
    void ExtEditEnter(int slot);
    void ExtEditExit(int slot);
    void ExtEdit1Enter() { ExtEditEnter(0); }
    void ExtEdit1Exit() { ExtEditExit(0); }
    void ExtEdit2Enter() { ExtEditEnter(1); }
    void ExtEdit2Exit() { ExtEditExit(1); }
    void ExtListEditorClick(ExtensionTable table);
    void FormShow();
    void FormCloseQuery();

    void mainChooseFolder();
    void mainSpecialFolder(int csidl);
    void TransferEdit1Exit();
    void dialogChooseFolder();
    void dialogSpecialFolder(int csidl);

    DestinationArea m_ui;
    std::function<QString()> m_sourceFolder;
    TExtForm *m_ext;
    SettingsRecord *m_settings;
    std::unique_ptr<ExtensionRouting> m_routing;
    QStringList m_keptFolders;
    int m_lastClickedExtRow = 0;
    bool m_rendering = false;
};

} // namespace vantora
