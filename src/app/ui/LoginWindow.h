#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <string_view>

class QLabel;

namespace zelmo::app {

// The window that shows the QR code; its caption is the login status line.
class LoginWindow : public QWidget {
    Q_OBJECT
public:
    // on_close_request runs when the user closes the window and says whether it may close;
    // open_main runs when the load-main event reaches its label.
    LoginWindow(std::function<bool()> on_close_request, std::function<void()> open_main);

    // Runs when the user clicks the picture (asking for a new code).
    void SetPictureClickHandler(std::function<void()> on_click);

    // Image bytes as the service sent them; undecodable bytes clear the picture.
    void SetQrImage(std::string_view image);
    // Posts the user event of the load-main label; its handler runs later on this thread.
    void RaiseLoadMainEvent();
    // Closes the window without asking to end the program.
    void CloseQuietly();

    QLabel* PictureBox() const { return m_picture; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowScaledQr();

    std::function<bool()> m_on_close_request;
    std::function<void()> m_open_main;
    std::function<void()> m_on_picture_click;
    QLabel* m_picture;
    QPixmap m_qr;  // as received; scaled anew on every resize
    QLabel* m_load_main;
    bool m_closing_quietly = false;
};

}  // namespace zelmo::app
