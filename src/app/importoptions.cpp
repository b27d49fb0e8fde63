#include "app/importoptions.h"

#include "routing/choosefolder.h"
#include "settings/settingsrecord.h"
#include "transfer/transferstate.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace vantora {

namespace {

QCheckBox *makeBox(QWidget *parent, const char *name, const QString &caption, const QString &hint,
                   QRect geometry)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setToolTip(hint);
    box->setGeometry(geometry);
    return box;
}

} // namespace

ImportOptions::ImportOptions(QWidget *mainForm, SettingsRecord *settings, QObject *parent)
    : QObject(parent), m_settings(settings),
      m_skipImported(makeBox(mainForm, "SkipImportedCheckBox",
                             QStringLiteral("取り込み済みのファイルは転送しない"),
                             QStringLiteral("以前に転送したファイル(同じカード・同じ名前・同じサイズと日時)は"
                                            "数えず、転送もしません。\n移動では、前回中断したときに残った"
                                            "元ファイルを、コピーを確かめてから削除します。"),
                             {8, 512, 232, 18})),
      m_verify(makeBox(mainForm, "VerifyCheckBox", QStringLiteral("転送後にベリファイ"),
                       QStringLiteral("コピーをディスクから読み戻して転送元と比べます。一致しないコピーは"
                                      "削除し、転送元のファイルは残します。"),
                       {244, 512, 130, 18})),
      m_eject(makeBox(mainForm, "EjectCheckBox", QStringLiteral("転送後にカードを取り出す"),
                      QStringLiteral("転送がすべて終わったら、取り外せるドライブの転送元を取り外せる状態に"
                                     "します。\n転送後に起動するプログラムに渡すフォルダがカード上に"
                                     "あるときは取り出しません。"),
                      {8, 531, 232, 18})),
      m_keepShotsTogether(
          makeBox(mainForm, "KeepShotsTogetherCheckBox", QStringLiteral("RAW+JPEGを同じ名前で転送"),
                  QStringLiteral("同じフォルダで名前(最初の「.」まで)が同じファイル(RAWとJPEG、"
                                 "XMPなどのサイドカー)を一つのショットとして、同じ連番・同じ撮影日・"
                                 "同じ「_n」で転送します。"),
                  {244, 531, 190, 18})),
      m_clockOffset(new QSpinBox(mainForm)),
      m_backup(makeBox(mainForm, "BackupCheckBox", QStringLiteral("バックアップ先にもコピー"),
                       QStringLiteral("転送するファイルを、バックアップ先のフォルダにも同じフォルダ構成で"
                                      "コピーします。\n両方のコピーがディスクに書き込まれる(ベリファイでは"
                                      "両方が一致する)まで、移動の転送元は削除しません。"),
                       {440, 492, 162, 18})),
      m_backupDir(new QLineEdit(mainForm)),
      m_backupDirButton(new QPushButton(QStringLiteral("..."), mainForm)),
      m_manifest(makeBox(mainForm, "ManifestCheckBox", QStringLiteral("チェックサム一覧を保存"),
                         QStringLiteral("転送先の各フォルダに、ファイルのチェックサム(XXH3-128)の一覧"
                                        "「vantora.xxh128」を保存します。\n後から xxhsum -c で"
                                        "確かめられます。"),
                         {720, 492, 145, 18}))
{
    // The strip has room for the edit alone: right of the verify box, above the shot box. Its caption is
    // the first line of its tool tip.
    m_clockOffset->setObjectName(QStringLiteral("ClockOffsetSpinEdit"));
    m_clockOffset->setRange(-MaxClockOffsetMinutes, MaxClockOffsetMinutes);
    m_clockOffset->setGeometry(378, 510, 56, 20);
    m_clockOffset->setAccessibleName(QStringLiteral("時刻補正(分)"));
    m_clockOffset->setToolTip(
        QStringLiteral("時刻補正(分)\nカメラの時計がずれていたときに、ファイルに記録された"
                       "撮影日時に足す分数です(-1440〜1440)。ファイルの更新日時には"
                       "足しません。"));
    m_backupDir->setObjectName(QStringLiteral("BackupDirEdit"));
    m_backupDir->setGeometry(604, 491, 86, 20);
    m_backupDir->setAccessibleName(QStringLiteral("バックアップ先"));
    m_backupDir->setToolTip(QStringLiteral("バックアップ先のフォルダ"));
    m_backupDirButton->setObjectName(QStringLiteral("BackupDirButton"));
    m_backupDirButton->setGeometry(692, 491, 24, 20);
    m_backupDirButton->setToolTip(QStringLiteral("バックアップ先のフォルダを選びます"));
    connect(m_backup, &QCheckBox::toggled, this,
            [this](bool checked) { m_settings->BackupChecked = checked; });
    connect(m_backupDir, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_settings->BackupDirText = text; });
    connect(m_backupDirButton, &QPushButton::clicked, this, [this] {
        const QString chosen = ChooseFolder(QStringLiteral("バックアップ先"), m_backupDir->text());
        if (!chosen.isEmpty())
            m_backupDir->setText(chosen);
    });
    connect(m_manifest, &QCheckBox::toggled, this,
            [this](bool checked) { m_settings->ManifestChecked = checked; });
    connect(m_skipImported, &QCheckBox::toggled, this, [this](bool checked) {
        if (m_settings->SkipImportedChecked == checked)
            return;
        m_settings->SkipImportedChecked = checked;
        Q_EMIT skipImportedToggled();
    });
    connect(m_verify, &QCheckBox::toggled, this,
            [this](bool checked) { m_settings->VerifyChecked = checked; });
    connect(m_eject, &QCheckBox::toggled, this, [this](bool checked) { m_settings->EjectChecked = checked; });
    connect(m_keepShotsTogether, &QCheckBox::toggled, this,
            [this](bool checked) { m_settings->KeepShotsTogetherChecked = checked; });
    connect(m_clockOffset, &QSpinBox::valueChanged, this,
            [this](int minutes) { m_settings->ClockOffsetMinutes = minutes; });
}

void ImportOptions::applySettings()
{
    m_skipImported->setChecked(m_settings->SkipImportedChecked);
    m_verify->setChecked(m_settings->VerifyChecked);
    m_eject->setChecked(m_settings->EjectChecked);
    m_keepShotsTogether->setChecked(m_settings->KeepShotsTogetherChecked);
    m_clockOffset->setValue(m_settings->ClockOffsetMinutes);
    m_backup->setChecked(m_settings->BackupChecked);
    m_backupDir->setText(m_settings->BackupDirText);
    m_manifest->setChecked(m_settings->ManifestChecked);
}

} // namespace vantora
