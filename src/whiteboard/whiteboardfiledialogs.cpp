#include "whiteboard/whiteboardfiledialogs.h"

#include <QFileDialog>

namespace whiteboard {

QString QtWhiteboardFileDialogs::openFileName(QWidget *parent, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString QtWhiteboardFileDialogs::saveFileName(QWidget *parent, const QString &filter)
{
    // No overwrite question and no suffix of the dialog's own: the name is completed by us.
    QFileDialog dialog(parent, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace whiteboard
