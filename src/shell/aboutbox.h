#pragma once
// frmAbout: the version, a credit line and the home page address.
#include <QDialog>

class Desktop;
class QLabel;

class AboutBox final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutBox)
public:
    static const QString kHomePage;

    explicit AboutBox(Desktop &desktop, QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Desktop &m_desktop;
    QLabel *m_address;
};
