#pragma once

#include <QObject>
#include <QString>

namespace vantora {

// A non-visual folder-choice component placed on the extension dialog. Nothing opens it (every folder
// choice goes through ChooseFolder); it only carries its title and an empty folder text.
class TFolderDialog final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFolderDialog)
    Q_PROPERTY(QString Title READ title WRITE setTitle)

public:
    explicit TFolderDialog(QObject *owner = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QString folder() const { return m_folder; }

private:
    QString m_folder;
    QString m_title;
};

} // namespace vantora
