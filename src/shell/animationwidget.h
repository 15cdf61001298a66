#pragma once
// The entrance window's banner animation (ShockwaveFlash1): two balloons that
// drift and bob beside the program's name. Drawn in code; runs only while shown.
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class AnimationWidget final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AnimationWidget)
public:
    explicit AnimationWidget(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {340, 72}; }

protected:
    void paintEvent(QPaintEvent *) override;
    void showEvent(QShowEvent *) override;
    void hideEvent(QHideEvent *) override;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
};
