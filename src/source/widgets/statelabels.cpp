#include "source/widgets/statelabels.h"

#include "source/importstate.h"

#include <QLabel>
#include <QLineEdit>

namespace vantora {

QString fileCountText(qint64 count)
{
    return QString::number(count) + QStringLiteral("個の対象ファイル");
}

void followSourceArea(const ImportState *state, const SourceArea &area)
{
    QLineEdit *source = area.SourceEdit1;
    source->setText(state->sourceFolder());
    QObject::connect(state, &ImportState::sourceFolderChanged, source, &QLineEdit::setText);
    QLabel *volume = area.VolLabel;
    volume->setText(state->volumeLabel());
    QObject::connect(state, &ImportState::volumeLabelChanged, volume, &QLabel::setText);
    followFileCount(state, area.FNumLabel1);
    QLabel *number = area.FNumLabel;
    number->setText(QString::number(state->fileCount()));
    QObject::connect(state, &ImportState::fileCountChanged, number,
                     [number](qint64 count) { number->setText(QString::number(count)); });
}

void followProgressRow(const ImportState *state, const TransferArea &area)
{
    QLabel *status = area.StatusLabel;
    status->setText(state->statusText());
    QObject::connect(state, &ImportState::statusTextChanged, status,
                     [status](const QString &text, ImportState::Drawing drawing) {
                         status->setText(text);
                         if (drawing == ImportState::Drawing::AtOnce)
                             status->repaint();
                     });
    QLabel *worked = area.WorkPLabel;
    worked->setText(state->workedText());
    QObject::connect(state, &ImportState::workedTextChanged, worked, &QLabel::setText);
}

void followFileCount(const ImportState *state, QLabel *label)
{
    label->setText(fileCountText(state->fileCount()));
    QObject::connect(state, &ImportState::fileCountChanged, label,
                     [label](qint64 count) { label->setText(fileCountText(count)); });
}

} // namespace vantora
