#pragma once

#include "settings/extensiontype.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace vantora {

class RegistryStore;

// Every persisted choice of the user, one field per stored value (one array slot per file type), in the
// order they are read and written. The fields are named after their stored value names, the type values
// after the catalogue; nothing else spells those names.
struct SettingsRecord
{
    QString SourceEditText;
    QString TransferEditText;
    bool DelChecked = false;
    bool UwagakiChecked = false;
    // The settings of each file type, indexed like the extension catalogue; they are stored between
    // "UwagakiChecked" and "ExtEdit1Text".
    struct TypeSettings
    {
        bool checked = false; // "<code>Checked"
        QString dir;          // "<code>Dir"
        QString aliasDir;     // "<alias>Dir", for the types with an alias
    };
    std::array<TypeSettings, ExtensionTypeCount> types;
    QString ExtEdit1Text;
    QString Ext1Dir;
    QString ExtEdit2Text;
    QString Ext2Dir;
    bool AllFileChecked = false;
    QString AllFileDir;
    qint32 DirRenbanSpinEditValue = 1;
    qint32 FileRenbanSpinEditValue = 1;
    QString sDayEditText;
    QString ExecEditText;
    bool ExecChecked = false;
    QString DirNameEditText;
    QString FileNameEditText;
    bool DirCreateChecked = false;
    bool RenameChecked = false;
    qint32 ParamRadioGroupIndex = 0;
    bool RenbanResetChecked = false;
    bool PANA101Checked = false;
    QString PreDirNameEditText;
    QString SufDirNameEditText;
    QString PreFileNameEditText;
    QString SufFileNameEditText;
    bool ExecCloseChecked = false;
    bool PreDirChecked = false;
    bool SufDirChecked = false;
    bool PreFileChecked = false;
    bool SufFileChecked = false;

    // Stored after the 90 values; a settings file without them loads as before, with these defaults.
    bool SkipImportedChecked = false;
    bool VerifyChecked = false;
    bool EjectChecked = false;
    bool KeepShotsTogetherChecked = false;
    qint32 ClockOffsetMinutes = 0; // added to shooting dates from the files' metadata, -1440..1440
    // The model of the camera a "gphoto2://[PORT]/" source names, where the port alone does not tell it
    // (libgphoto2's model name); empty: the camera found at the port.
    QString CameraModel;
    // A second copy of every file under this folder, at the same path below it as the first copy below its
    // row's folder; a source is deleted only once both are on the disk.
    bool BackupChecked = false;
    QString BackupDirText;
    // A "vantora.xxh128" list of the content hashes in every folder a run wrote into.
    bool ManifestChecked = false;

    enum class Type
    {
        String,
        Boolean,
        Integer
    };
    // One stored value: its name and type, and where it lives, a member of the record or one of a
    // type's settings.
    struct Field
    {
        QByteArray name;
        Type type;
        QString SettingsRecord::*textMember = nullptr;
        bool SettingsRecord::*flagMember = nullptr;
        qint32 SettingsRecord::*numberMember = nullptr;
        int typeIndex = -1;
        QString TypeSettings::*typeTextMember = nullptr;

        // The value in a record; only the accessor of the field's own type may be called.
        QString &text(SettingsRecord &record) const;
        const QString &text(const SettingsRecord &record) const;
        bool &flag(SettingsRecord &record) const;
        bool flag(const SettingsRecord &record) const;
        qint32 &number(SettingsRecord &record) const;
        qint32 number(const SettingsRecord &record) const;
    };
    // The 90 stored values in their fixed order.
    static const QList<Field> &fields();
    // The values added later, stored after those; a missing one silently keeps its default.
    static const QList<Field> &addedFields();
    static const Field *field(QStringView name);

    // Access by stored value name, for the places that pick a setting from data (the extension table).
    QString *textField(QStringView name);
    bool *flagField(QStringView name);

    // A type's settings by its code; the code must be in the catalogue.
    TypeSettings &type(QStringView code);
    const TypeSettings &type(QStringView code) const;

    // The defaults: special folders looked up now, folders with a trailing "/".
    static SettingsRecord defaults();
};

} // namespace vantora
