#pragma once
// The open and save dialogs of the whiteboard, behind an interface so tests
// can answer them. An empty name means the dialog was cancelled.
#include <QString>

class QWidget;

namespace whiteboard {

class WhiteboardFileDialogs {
public:
    virtual ~WhiteboardFileDialogs() = default;
    virtual QString openFileName(QWidget *parent, const QString &filter) = 0;
    virtual QString saveFileName(QWidget *parent, const QString &filter) = 0;
};

// The real dialogs.
class QtWhiteboardFileDialogs final : public WhiteboardFileDialogs {
public:
    QString openFileName(QWidget *parent, const QString &filter) override;
    QString saveFileName(QWidget *parent, const QString &filter) override;
};

} // namespace whiteboard
