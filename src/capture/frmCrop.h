#pragma once
// The custom capture area: the screen as it was captured, frozen under a borderless window that
// covers it, where the user drags a rectangle with the left button (its size read out beside
// it) and presses any key to take it.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "capture/CaptureRules.h"
#include "images/Picture.h"

class QFrame;
class QLabel;
class QTimer;

namespace gv {

struct CropHost {
    // The owner of the notice shown first (the main window).
    QPointer<QWidget> owner;
    // The chosen picture, for the capture set-up to hand to the main window.
    std::function<void(const Picture&)> done;
    // The window was closed without a choice (from the window manager).
    std::function<void()> cancelled;
};

class frmCrop final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBlinkMs = 500;
    static constexpr int kPromptRaiseMs = 2000;

    frmCrop(CropHost host, QRect screen, QWidget* parent = nullptr);

    // The notice that explains what to do, unless the user asked not to see it again.
    void Load();
    // The captured screen becomes the window's background.
    void SetPic(const Picture& screen);
    // Covers the screen and takes the keyboard.
    void Show();

    const RubberBand& band() const { return m_band; }
    bool wholeScreenChosen() const { return m_whole; }

    // Controls, by their names.
    QFrame* Shape1 = nullptr;
    QLabel* Size = nullptr;
    QWidget* Record = nullptr;
    QLabel* Picture1 = nullptr;
    QTimer* Captim = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Captim_Timer();
    void CutOut();

    CropHost m_host;
    QRect m_screen;
    Picture m_picture;
    QImage m_background;
    RubberBand m_band;
    int m_blinks = 0;
    bool m_whole = false;
    bool m_done = false;
};

}  // namespace gv
