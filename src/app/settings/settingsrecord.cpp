#include "app/settings/settingsrecord.h"

#include "platform/specialfolders.h"

namespace vantora {

const std::array<SettingsRecord::Field, 90> &SettingsRecord::fields()
{
    using R = SettingsRecord;
    static const std::array<Field, 90> table = {{
        {"SourceEditText", Type::String, &R::SourceEditText},
        {"TransferEditText", Type::String, &R::TransferEditText},
        {"DelChecked", Type::Boolean, nullptr, &R::DelChecked},
        {"UwagakiChecked", Type::Boolean, nullptr, &R::UwagakiChecked},
        {"JPGChecked", Type::Boolean, nullptr, &R::JPGChecked},
        {"JPGDir", Type::String, &R::JPGDir},
        {"JPEGDir", Type::String, &R::JPEGDir},
        {"TIFChecked", Type::Boolean, nullptr, &R::TIFChecked},
        {"TIFDir", Type::String, &R::TIFDir},
        {"TIFFDir", Type::String, &R::TIFFDir},
        {"PNGChecked", Type::Boolean, nullptr, &R::PNGChecked},
        {"PNGDir", Type::String, &R::PNGDir},
        {"GIFChecked", Type::Boolean, nullptr, &R::GIFChecked},
        {"GIFDir", Type::String, &R::GIFDir},
        {"BMPChecked", Type::Boolean, nullptr, &R::BMPChecked},
        {"BMPDir", Type::String, &R::BMPDir},
        {"PSDChecked", Type::Boolean, nullptr, &R::PSDChecked},
        {"PSDDir", Type::String, &R::PSDDir},
        {"DNGChecked", Type::Boolean, nullptr, &R::DNGChecked},
        {"DNGDir", Type::String, &R::DNGDir},
        {"NEFChecked", Type::Boolean, nullptr, &R::NEFChecked},
        {"NEFDir", Type::String, &R::NEFDir},
        {"CR2Checked", Type::Boolean, nullptr, &R::CR2Checked},
        {"CR2Dir", Type::String, &R::CR2Dir},
        {"PEFChecked", Type::Boolean, nullptr, &R::PEFChecked},
        {"PEFDir", Type::String, &R::PEFDir},
        {"ARWChecked", Type::Boolean, nullptr, &R::ARWChecked},
        {"ARWDir", Type::String, &R::ARWDir},
        {"ORFChecked", Type::Boolean, nullptr, &R::ORFChecked},
        {"ORFDir", Type::String, &R::ORFDir},
        {"RW2Checked", Type::Boolean, nullptr, &R::RW2Checked},
        {"RW2Dir", Type::String, &R::RW2Dir},
        {"RAFChecked", Type::Boolean, nullptr, &R::RAFChecked},
        {"RAFDir", Type::String, &R::RAFDir},
        {"MOVChecked", Type::Boolean, nullptr, &R::MOVChecked},
        {"MOVDir", Type::String, &R::MOVDir},
        {"MP4Checked", Type::Boolean, nullptr, &R::MP4Checked},
        {"MP4Dir", Type::String, &R::MP4Dir},
        {"AVIChecked", Type::Boolean, nullptr, &R::AVIChecked},
        {"AVIDir", Type::String, &R::AVIDir},
        {"MPGChecked", Type::Boolean, nullptr, &R::MPGChecked},
        {"MPGDir", Type::String, &R::MPGDir},
        {"MPEGDir", Type::String, &R::MPEGDir},
        {"WMVChecked", Type::Boolean, nullptr, &R::WMVChecked},
        {"WMVDir", Type::String, &R::WMVDir},
        {"MKVChecked", Type::Boolean, nullptr, &R::MKVChecked},
        {"MKVDir", Type::String, &R::MKVDir},
        {"FLVChecked", Type::Boolean, nullptr, &R::FLVChecked},
        {"FLVDir", Type::String, &R::FLVDir},
        {"WAVChecked", Type::Boolean, nullptr, &R::WAVChecked},
        {"WAVDir", Type::String, &R::WAVDir},
        {"MP3Checked", Type::Boolean, nullptr, &R::MP3Checked},
        {"MP3Dir", Type::String, &R::MP3Dir},
        {"AACChecked", Type::Boolean, nullptr, &R::AACChecked},
        {"AACDir", Type::String, &R::AACDir},
        {"WMAChecked", Type::Boolean, nullptr, &R::WMAChecked},
        {"WMADir", Type::String, &R::WMADir},
        {"M4AChecked", Type::Boolean, nullptr, &R::M4AChecked},
        {"M4ADir", Type::String, &R::M4ADir},
        {"FLACChecked", Type::Boolean, nullptr, &R::FLACChecked},
        {"FLACDir", Type::String, &R::FLACDir},
        {"MIDChecked", Type::Boolean, nullptr, &R::MIDChecked},
        {"MIDDir", Type::String, &R::MIDDir},
        {"ExtEdit1Text", Type::String, &R::ExtEdit1Text},
        {"Ext1Dir", Type::String, &R::Ext1Dir},
        {"ExtEdit2Text", Type::String, &R::ExtEdit2Text},
        {"Ext2Dir", Type::String, &R::Ext2Dir},
        {"AllFileChecked", Type::Boolean, nullptr, &R::AllFileChecked},
        {"AllFileDir", Type::String, &R::AllFileDir},
        {"DirRenbanSpinEditValue", Type::Integer, nullptr, nullptr, &R::DirRenbanSpinEditValue},
        {"FileRenbanSpinEditValue", Type::Integer, nullptr, nullptr, &R::FileRenbanSpinEditValue},
        {"sDayEditText", Type::String, &R::sDayEditText},
        {"ExecEditText", Type::String, &R::ExecEditText},
        {"ExecChecked", Type::Boolean, nullptr, &R::ExecChecked},
        {"DirNameEditText", Type::String, &R::DirNameEditText},
        {"FileNameEditText", Type::String, &R::FileNameEditText},
        {"DirCreateChecked", Type::Boolean, nullptr, &R::DirCreateChecked},
        {"RenameChecked", Type::Boolean, nullptr, &R::RenameChecked},
        {"ParamRadioGroupIndex", Type::Integer, nullptr, nullptr, &R::ParamRadioGroupIndex},
        {"RenbanResetChecked", Type::Boolean, nullptr, &R::RenbanResetChecked},
        {"PANA101Checked", Type::Boolean, nullptr, &R::PANA101Checked},
        {"PreDirNameEditText", Type::String, &R::PreDirNameEditText},
        {"SufDirNameEditText", Type::String, &R::SufDirNameEditText},
        {"PreFileNameEditText", Type::String, &R::PreFileNameEditText},
        {"SufFileNameEditText", Type::String, &R::SufFileNameEditText},
        {"ExecCloseChecked", Type::Boolean, nullptr, &R::ExecCloseChecked},
        {"PreDirChecked", Type::Boolean, nullptr, &R::PreDirChecked},
        {"SufDirChecked", Type::Boolean, nullptr, &R::SufDirChecked},
        {"PreFileChecked", Type::Boolean, nullptr, &R::PreFileChecked},
        {"SufFileChecked", Type::Boolean, nullptr, &R::SufFileChecked},
    }};
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
    return f && f->text ? &(this->*(f->text)) : nullptr;
}

bool *SettingsRecord::flagField(QStringView name)
{
    const Field *f = field(name);
    return f && f->flag ? &(this->*(f->flag)) : nullptr;
}

SettingsRecord SettingsRecord::defaults()
{
    const QString documents = GetSpecialFolderPath(CSIDL_PERSONAL) + QLatin1Char('/');
    const QString pictures = GetSpecialFolderPath(CSIDL_MYPICTURES) + QLatin1Char('/');
    SettingsRecord r;
    r.SourceEditText = documents;
    r.TransferEditText = pictures;
    r.JPGChecked = true;
    r.JPGDir = pictures;
    r.JPEGDir = pictures;
    r.TIFChecked = true;
    r.TIFDir = pictures;
    r.TIFFDir = pictures;
    r.PNGDir = pictures;
    r.GIFDir = pictures;
    r.BMPDir = pictures;
    r.PSDDir = pictures;
    r.DNGDir = pictures;
    r.NEFDir = pictures;
    r.CR2Dir = pictures;
    r.PEFDir = pictures;
    r.ARWDir = pictures;
    r.ORFDir = pictures;
    r.RW2Dir = pictures;
    r.RAFDir = pictures;
    r.MOVChecked = true;
    r.MOVDir = pictures;
    r.MP4Checked = true;
    r.MP4Dir = pictures;
    r.AVIChecked = true;
    r.AVIDir = pictures;
    r.MPGDir = pictures;
    r.MPEGDir = pictures;
    r.WMVDir = pictures;
    r.MKVDir = pictures;
    r.FLVDir = pictures;
    r.WAVDir = pictures;
    r.MP3Dir = pictures;
    r.AACDir = pictures;
    r.WMADir = pictures;
    r.M4ADir = pictures;
    r.FLACDir = pictures;
    r.MIDDir = pictures;
    r.Ext1Dir = pictures;
    r.Ext2Dir = pictures;
    r.AllFileChecked = true;
    r.AllFileDir = pictures;
    r.DirNameEditText = QStringLiteral("新しいフォルダ");
    r.FileNameEditText = QStringLiteral("[元のファイル名]");
    return r;
}

} // namespace vantora
