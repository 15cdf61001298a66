#pragma once
// The entrance window's banner animation (ShockwaveFlash1): two balloons that
// drift and bob beside the program's name. The sky, the name and each balloon
// are drawn once into pictures; a frame only places the two balloons and
// repaints where they moved. Runs only while the window is on screen: hidden
// or minimised, it stops.
#include <QElapsedTimer>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

class AnimationWidget final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AnimationWidget)
public:
    explicit AnimationWidget(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {340, 72}; }
    // Frames are being drawn.
    bool isRunning() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent *) override;
    void showEvent(QShowEvent *) override;
    void hideEvent(QHideEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void changeEvent(QEvent *) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Starts or stops the frames as the window comes on or leaves the screen.
    void updateRunning();
    void nextFrame();
    void prerender();
    // Where the balloons' pictures go at the time of the clock.
    QPoint balloonAt(int n, double seconds) const;
    QRect balloonRect(int n) const;

    QTimer m_timer;
    QElapsedTimer m_clock;
    QPointer<QWindow> m_watched;
    QPixmap m_sky;   // the sky alone
    QPixmap m_title; // the name and the slogan, drawn over the balloons
    QRect m_titleRect;
    QPixmap m_balloon[2]; // each with a margin of kMargin for its soft edge
    QPoint m_at[2];
};
