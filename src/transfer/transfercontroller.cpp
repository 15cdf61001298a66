#include "transfer/transfercontroller.h"

#include "transfer/progresswindow.h"
#include "transfer/transferhost.h"

#include <QAction>
#include <QWidget>

namespace transfer {

TransferController::TransferController(QWidget *chatWindow, TransferHost &host)
    : QObject(chatWindow), m_chat(chatWindow), m_host(host), m_transfer(new FileTransfer(host, this))
{
    connect(m_transfer, &FileTransfer::progressOpened, this, &TransferController::openWindow);
    connect(m_transfer, &FileTransfer::progressClosed, this, &TransferController::closeWindow);
    connect(m_transfer, &FileTransfer::progressChanged, this, [this](const QString &text) {
        if (m_window) m_window->setText(text);
    });
}

TransferController::~TransferController()
{
    m_transfer->stop();
    closeWindow();
}

void TransferController::attachMenus(QAction *menuFtne, QAction *menuFrsv)
{
    if (menuFtne) connect(menuFtne, &QAction::triggered, m_transfer, &FileTransfer::sendFile);
    if (menuFrsv) {
        menuFrsv->setCheckable(true);
        menuFrsv->setChecked(true);
    }
}

void TransferController::openWindow()
{
    if (!m_window) m_window = new ProgressWindow(m_chat, m_host.state());
    m_window->setText(m_transfer->progressText());
    m_window->show();
    m_window->placeAtCorner();
}

void TransferController::closeWindow()
{
    delete m_window.data();
}

} // namespace transfer
