#pragma once
// Form12, "Wez PROXY設定": the address announced to the directory server as
// our own, typed as four numbers.
#include <QDialog>

class ClientCore;
class QLineEdit;

namespace server {

class ProxyWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyWindow)
public:
    explicit ProxyWindow(ClientCore &core, QWidget *parent = nullptr);

    // The key filter of the four boxes: digits, backspace and the point that moves on to the next box.
    static bool acceptsKey(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void store();
    // An edit of box `index` that holds points fills the boxes after it too.
    void spread(int index, const QString &text);

    ClientCore &m_core;
    QList<QLineEdit *> m_boxes; // Text1(0) .. Text1(3)
};

} // namespace server
