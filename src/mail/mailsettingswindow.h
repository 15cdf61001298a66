#pragma once
// Form9, "Wez Mail Setting": edits copies of the six mail settings; OK stores
// them and rewrites the mail settings file.
#include <QWidget>

class ClientCore;
class QLineEdit;

class MailSettingsWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MailSettingsWindow)
public:
    explicit MailSettingsWindow(ClientCore &core, QWidget *parent = nullptr);

    // OK: stores, writes the file and closes; false when the file could not be written.
    bool store();

protected:
    void showEvent(QShowEvent *event) override;

private:
    ClientCore &m_core;
    QLineEdit *m_fields[6];
};
