#pragma once
// The entrance window's banner animation (ShockwaveFlash1): two balloons that
// drift and bob beside the program's name. The sky, the balloons and the name
// are drawn once into pictures; a frame only places the two balloons and
// repaints where they moved. Runs only while the window is on screen: hidden
// or minimised, it stops.
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
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

    // The pictures for one height, font and pixel ratio.
    struct Pictures {
        int height = 0;
        qreal dpr = 0;
        QFont font;
        QImage balloon[2]; // each with a margin for its soft edge
        QImage title;      // the name and the slogan, drawn over the balloons
        QPoint titleAt;
    };

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
    // Makes the pictures fit the widget as it is now.
    void prepare();
    // Where a balloon's picture goes at the time of the clock.
    QPoint balloonAt(int n, double seconds) const;
    QRect balloonRect(int n) const;

    QTimer m_timer;
    QElapsedTimer m_clock;
    QPointer<QWindow> m_watched;
    Pictures m_pictures;
    QImage m_sky;
    QPoint m_at[2];
};
