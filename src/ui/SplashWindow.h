#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace Tollgate {

namespace Platform {
    class Platform;
}

// frmSplash: a picture, the program's version and its web address. It closes itself after
// three seconds, on a click on the picture, or on Enter or Escape; clicking the address
// opens it. Shown modally at start-up and without waiting by the About command.
class SplashWindow : public QDialog
{
    Q_OBJECT

public:
    // The address the splash shows and opens: the help page that came with the program.
    static QString address();
    static constexpr int CloseAfterMs = 3000;

    // helpPage: what the splash shows and opens instead of address(), for pictures of an
    // installed program drawn from the build tree.
    explicit SplashWindow(
        Platform::Platform& platform, QString helpPage = address(), QWidget* parent = nullptr);

    // "Version X.Y Build N" for a version "X.Y.N".
    static QString versionText(const QString& version);

    // Fills the version label.
    void Initialize();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Platform::Platform& m_platform;
    QLabel* m_info = nullptr;
    QString m_helpPage;
    QLabel* m_address = nullptr;
    QTimer* m_closeTimer = nullptr;
};

} // namespace Tollgate
