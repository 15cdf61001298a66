#pragma once
// Form14, "Wez Server Selecter": the directory servers of the server list
// file; choosing one makes it the server of the next run.
#include <QDialog>

#include <functional>

class ClientCore;
class QLabel;
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

private:
    void load();
    void choose();

    ClientCore &m_core;
    std::function<void(const QString &)> m_choose;
    QListWidget *m_items;        // List1
    QListWidget *m_descriptions; // List2
    QLabel *m_current;           // Label1
};

} // namespace server
