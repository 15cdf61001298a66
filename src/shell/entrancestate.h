#pragma once
// What the entrance window shows and the user typed there, kept apart from the
// widgets so the logic can read and change it without a screen.
#include <QObject>
#include <QString>
#include <QStringList>

class EntranceState final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EntranceState)
public:
    inline static const QString kIpBoxPrompt = QStringLiteral("ＩＰボックス");
    inline static const QString kIdleAddressText = QStringLiteral("Click! -->");

    explicit EntranceState(QObject *parent = nullptr) : QObject(parent) {}

    QString name() const { return m_name; }                     // Text1
    QString comment() const { return m_comment; }               // Text2
    QString ipText() const { return m_ipText; }                 // Combo1's edit field
    QStringList ipHistory() const { return m_ipHistory; }       // Combo1's list
    QString postTarget() const { return m_postTarget; }         // Label1
    QString stateText() const { return m_stateText; }           // Label4
    QString addressText() const { return m_addressText; }       // Label5
    bool idleCommandsEnabled() const { return m_idleCommands; } // Command2, Command3, Command4
    bool registerEnabled() const { return m_register; }         // Command1
    bool addressEnabled() const { return m_address; }           // Command6

    void setName(const QString &v) { set(m_name, v); }
    void setComment(const QString &v) { set(m_comment, v); }
    void setIpText(const QString &v) { set(m_ipText, v); }
    void setIpHistory(const QStringList &v) { set(m_ipHistory, v); }
    void setPostTarget(const QString &v) { set(m_postTarget, v); }
    void setStateText(const QString &v) { set(m_stateText, v); }
    void setAddressText(const QString &v) { set(m_addressText, v); }
    void setIdleCommandsEnabled(bool v) { set(m_idleCommands, v); }
    void setRegisterEnabled(bool v) { set(m_register, v); }
    void setAddressEnabled(bool v) { set(m_address, v); }

    // Appends the IP box text to its list unless it is empty or already there (exact match).
    void addIpHistory()
    {
        if (m_ipText.isEmpty() || m_ipHistory.contains(m_ipText, Qt::CaseSensitive)) return;
        m_ipHistory.append(m_ipText);
        Q_EMIT changed();
    }

Q_SIGNALS:
    void changed();

private:
    template <typename T> void set(T &field, const T &value)
    {
        if (field == value) return;
        field = value;
        Q_EMIT changed();
    }

    QString m_name;
    QString m_comment;
    QString m_ipText = kIpBoxPrompt;
    QStringList m_ipHistory;
    QString m_postTarget;
    QString m_stateText;
    QString m_addressText;
    bool m_idleCommands = true;
    bool m_register = true;
    bool m_address = true;
};
