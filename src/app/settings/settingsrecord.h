#pragma once

#include <QString>

#include <array>

namespace vantora {

class RegistryStore;

// Every persisted choice of the user, one field per stored value, in the order they are read and written.
// The fields are named after their stored value names; nothing else spells those names.
struct SettingsRecord
{
    QString SourceEditText;
    QString TransferEditText;
    bool DelChecked = false;
    bool UwagakiChecked = false;
    bool JPGChecked = false;
    QString JPGDir;
    QString JPEGDir;
    bool TIFChecked = false;
    QString TIFDir;
    QString TIFFDir;
    bool PNGChecked = false;
    QString PNGDir;
    bool GIFChecked = false;
    QString GIFDir;
    bool BMPChecked = false;
    QString BMPDir;
    bool PSDChecked = false;
    QString PSDDir;
    bool DNGChecked = false;
    QString DNGDir;
    bool NEFChecked = false;
    QString NEFDir;
    bool CR2Checked = false;
    QString CR2Dir;
    bool PEFChecked = false;
    QString PEFDir;
    bool ARWChecked = false;
    QString ARWDir;
    bool ORFChecked = false;
    QString ORFDir;
    bool RW2Checked = false;
    QString RW2Dir;
    bool RAFChecked = false;
    QString RAFDir;
    bool MOVChecked = false;
    QString MOVDir;
    bool MP4Checked = false;
    QString MP4Dir;
    bool AVIChecked = false;
    QString AVIDir;
    bool MPGChecked = false;
    QString MPGDir;
    QString MPEGDir;
    bool WMVChecked = false;
    QString WMVDir;
    bool MKVChecked = false;
    QString MKVDir;
    bool FLVChecked = false;
    QString FLVDir;
    bool WAVChecked = false;
    QString WAVDir;
    bool MP3Checked = false;
    QString MP3Dir;
    bool AACChecked = false;
    QString AACDir;
    bool WMAChecked = false;
    QString WMADir;
    bool M4AChecked = false;
    QString M4ADir;
    bool FLACChecked = false;
    QString FLACDir;
    bool MIDChecked = false;
    QString MIDDir;
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

    enum class Type { String, Boolean, Integer };
    struct Field
    {
        const char *name;
        Type type;
        QString SettingsRecord::*text = nullptr;
        bool SettingsRecord::*flag = nullptr;
        qint32 SettingsRecord::*number = nullptr;
    };
    static const std::array<Field, 90> &fields();
    static const Field *field(QStringView name);

    // Access by stored value name, for the places that pick a setting from data (the extension table).
    QString *textField(QStringView name);
    bool *flagField(QStringView name);

    // The defaults: special folders looked up now, folders with a trailing "/".
    static SettingsRecord defaults();
};

} // namespace vantora
