#pragma once
// The file transfer of one chat window: the logic, its progress window Form8
// and the two menu items "ファイル転送" and "ファイルを受信する".
#include "transfer/filetransfer.h"

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace transfer {

class ProgressWindow;
class TransferHost;

class TransferController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferController)
public:
    // Lives as long as `chatWindow`, which owns the progress window.
    TransferController(QWidget *chatWindow, TransferHost &host);
    ~TransferController() override;

    // menuFtne sends a file; menuFrsv becomes a check item, checked. The host's
    // receiveEnabled() should answer menuFrsv's check mark.
    void attachMenus(QAction *menuFtne, QAction *menuFrsv);

    FileTransfer &transfer() { return *m_transfer; }
    ProgressWindow *progressWindow() const { return m_window; }

private:
    void openWindow();
    void closeWindow();

    QWidget *m_chat;
    TransferHost &m_host;
    FileTransfer *m_transfer;
    QPointer<ProgressWindow> m_window;
};

} // namespace transfer
