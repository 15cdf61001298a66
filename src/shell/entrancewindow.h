#pragma once
// Form1, "Wez Entrance": name, comment, the IP box, the own-address display,
// the command buttons, the banner animation and the tray menu. It shows an
// EntranceState and reports what the user does; the Client gives the commands
// their meaning.
#include <QHash>
#include <QWidget>

class EntranceState;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

class EntranceWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EntranceWindow)
public:
    explicit EntranceWindow(EntranceState &state, QWidget *parent = nullptr);

    QPushButton *button(int n) const { return m_buttons.value(n); } // Command1..Command6
    QAction *menuItem(const QString &name) const { return m_menuItems.value(name); }
    QMenu *trayMenu() const { return m_trayMenu; }
    void popUpTrayMenu();
    void focusName();
    void focusIpBox();

Q_SIGNALS:
    // The window is being closed by the user or the system: the client shuts down.
    void closeRequested();
    void nameEdited();
    void commentEdited();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu();
    void refresh();

    EntranceState &m_state;
    QLineEdit *m_name;
    QLineEdit *m_comment;
    QComboBox *m_ipBox;
    QLabel *m_postTarget;
    QLabel *m_stateLabel;
    QLabel *m_addressLabel;
    QList<QLabel *> m_pictures;
    QHash<int, QPushButton *> m_buttons;
    QHash<QString, QAction *> m_menuItems;
    QMenu *m_trayMenu = nullptr;
    bool m_refreshing = false;
    bool m_closing = false;
};
