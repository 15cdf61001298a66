#pragma once
// Form14, "Wez Server Selecter": the directory servers of the server list
// file; choosing one makes it the server of the next run. A server the list
// lacks is typed in below it and added to the file.
#include "server/serverlist.h"

#include <QDialog>

#include <functional>

class ClientCore;
class QLabel;
class QLineEdit;
class QListWidget;

namespace server {

class ServerSelectorWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerSelectorWindow)
public:
    // `choose` gets the chosen server's address once the user confirmed it.
    ServerSelectorWindow(ClientCore &core, std::function<void(const QString &address)> choose,
                         QWidget *parent = nullptr);

    static inline const QString kConfirmText =
        QStringLiteral(
            "サーバを変更すると、一度Ｗｅｚを自動的に終了させます。Ｗｅｚを再度立ち上げなおしてください。") +
        QStringLiteral("\r\n") + QStringLiteral("よろしいですか？");
    static inline const QString kAddedText =
        QStringLiteral("一覧に追加しました。選んで「OK」を押すと、このサーバに変わります");

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showList(const QList<ServerListItem> &list);
    void choose();
    // Command3: the typed server into the list file.
    void addServer();
    void tell(const QString &text, bool refused);

    ClientCore &m_core;
    std::function<void(const QString &)> m_choose;
    QListWidget *m_items;        // List1
    QListWidget *m_descriptions; // List2
    QLabel *m_current;           // Label1
    QLineEdit *m_address;        // Text1
    QLineEdit *m_description;    // Text2
    QLabel *m_outcome;           // Label4
};

} // namespace server
