#include "settings/settingsrecord.h"

#include "platform/specialfolders.h"

namespace vantora {

namespace {

using R = SettingsRecord;
using Field = SettingsRecord::Field;
using Type = SettingsRecord::Type;

Field text(const char *name, QString R::*member)
{
    return {name, Type::String, member};
}

Field flag(const char *name, bool R::*member)
{
    return {name, Type::Boolean, nullptr, member};
}

Field number(const char *name, qint32 R::*member)
{
    return {name, Type::Integer, nullptr, nullptr, member};
}

QList<Field> makeFields()
{
    QList<Field> table = {
        text("SourceEditText", &R::SourceEditText),
        text("TransferEditText", &R::TransferEditText),
        flag("DelChecked", &R::DelChecked),
        flag("UwagakiChecked", &R::UwagakiChecked),
    };
    // Each type stores its selection, its folder and its alias's folder, in catalogue order.
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        const ExtensionType &type = ExtensionCatalogue()[t];
        table.append({type.selectionSetting().toLatin1(), Type::Boolean, nullptr, nullptr, nullptr, t});
        table.append({type.destinationSetting().toLatin1(), Type::String, nullptr, nullptr, nullptr, t,
                      &R::TypeSettings::dir});
        if (type.alias)
            table.append({type.aliasSetting().toLatin1(), Type::String, nullptr, nullptr, nullptr, t,
                          &R::TypeSettings::aliasDir});
    }
    table.append({
        text("ExtEdit1Text", &R::ExtEdit1Text),
        text("Ext1Dir", &R::Ext1Dir),
        text("ExtEdit2Text", &R::ExtEdit2Text),
        text("Ext2Dir", &R::Ext2Dir),
        flag("AllFileChecked", &R::AllFileChecked),
        text("AllFileDir", &R::AllFileDir),
        number("DirRenbanSpinEditValue", &R::DirRenbanSpinEditValue),
        number("FileRenbanSpinEditValue", &R::FileRenbanSpinEditValue),
        text("sDayEditText", &R::sDayEditText),
        text("ExecEditText", &R::ExecEditText),
        flag("ExecChecked", &R::ExecChecked),
        text("DirNameEditText", &R::DirNameEditText),
        text("FileNameEditText", &R::FileNameEditText),
        flag("DirCreateChecked", &R::DirCreateChecked),
        flag("RenameChecked", &R::RenameChecked),
        number("ParamRadioGroupIndex", &R::ParamRadioGroupIndex),
        flag("RenbanResetChecked", &R::RenbanResetChecked),
        flag("PANA101Checked", &R::PANA101Checked),
        text("PreDirNameEditText", &R::PreDirNameEditText),
        text("SufDirNameEditText", &R::SufDirNameEditText),
        text("PreFileNameEditText", &R::PreFileNameEditText),
        text("SufFileNameEditText", &R::SufFileNameEditText),
        flag("ExecCloseChecked", &R::ExecCloseChecked),
        flag("PreDirChecked", &R::PreDirChecked),
        flag("SufDirChecked", &R::SufDirChecked),
        flag("PreFileChecked", &R::PreFileChecked),
        flag("SufFileChecked", &R::SufFileChecked),
    });
    return table;
}

} // namespace

QString &SettingsRecord::Field::text(SettingsRecord &record) const
{
    return typeIndex < 0 ? record.*textMember : record.types[typeIndex].*typeTextMember;
}

const QString &SettingsRecord::Field::text(const SettingsRecord &record) const
{
    return text(const_cast<SettingsRecord &>(record));
}

bool &SettingsRecord::Field::flag(SettingsRecord &record) const
{
    return typeIndex < 0 ? record.*flagMember : record.types[typeIndex].checked;
}

bool SettingsRecord::Field::flag(const SettingsRecord &record) const
{
    return flag(const_cast<SettingsRecord &>(record));
}

qint32 &SettingsRecord::Field::number(SettingsRecord &record) const
{
    return record.*numberMember;
}

qint32 SettingsRecord::Field::number(const SettingsRecord &record) const
{
    return number(const_cast<SettingsRecord &>(record));
}

const QList<SettingsRecord::Field> &SettingsRecord::fields()
{
    static const QList<Field> table = makeFields();
    return table;
}

const QList<SettingsRecord::Field> &SettingsRecord::addedFields()
{
    static const QList<Field> table = {
        flag("SkipImportedChecked", &R::SkipImportedChecked),
        flag("VerifyChecked", &R::VerifyChecked),
        flag("EjectChecked", &R::EjectChecked),
        flag("KeepShotsTogetherChecked", &R::KeepShotsTogetherChecked),
        number("ClockOffsetMinutes", &R::ClockOffsetMinutes),
        text("CameraModel", &R::CameraModel),
        flag("BackupChecked", &R::BackupChecked),
        text("BackupDirText", &R::BackupDirText),
        flag("ManifestChecked", &R::ManifestChecked),
    };
    return table;
}

const SettingsRecord::Field *SettingsRecord::field(QStringView name)
{
    for (const Field &f : fields()) {
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

QString *SettingsRecord::textField(QStringView name)
{
    const Field *f = field(name);
    return f && f->type == Type::String ? &f->text(*this) : nullptr;
}

bool *SettingsRecord::flagField(QStringView name)
{
    const Field *f = field(name);
    return f && f->type == Type::Boolean ? &f->flag(*this) : nullptr;
}

SettingsRecord::TypeSettings &SettingsRecord::type(QStringView code)
{
    return const_cast<TypeSettings &>(std::as_const(*this).type(code));
}

const SettingsRecord::TypeSettings &SettingsRecord::type(QStringView code) const
{
    // An unknown code throws rather than reaching past the array.
    return types.at(std::size_t(extensionTypeIndex(code)));
}

SettingsRecord SettingsRecord::defaults()
{
    const QString documents = GetSpecialFolderPath(CSIDL_PERSONAL) + QLatin1Char('/');
    const QString pictures = GetSpecialFolderPath(CSIDL_MYPICTURES) + QLatin1Char('/');
    SettingsRecord r;
    r.SourceEditText = documents;
    r.TransferEditText = pictures;
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        const ExtensionType &type = ExtensionCatalogue()[t];
        r.types[t].checked = type.chosenByDefault;
        r.types[t].dir = pictures;
        if (type.alias)
            r.types[t].aliasDir = pictures;
    }
    r.Ext1Dir = pictures;
    r.Ext2Dir = pictures;
    r.AllFileChecked = true;
    r.AllFileDir = pictures;
    r.DirNameEditText = QStringLiteral("新しいフォルダ");
    r.FileNameEditText = QStringLiteral("[元のファイル名]");
    return r;
}

} // namespace vantora
