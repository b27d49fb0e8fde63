#include "app/importoptions.h"

#include "settings/settingsrecord.h"
#include "transfer/transferstate.h"

#include <QCheckBox>
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
      m_clockOffset(new QSpinBox(mainForm))
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
}

} // namespace vantora
