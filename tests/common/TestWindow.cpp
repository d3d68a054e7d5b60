// A plain Qt window for the desktop tests: tollgate_test_window TITLE [DIALOG_TITLE]. Each
// line on standard input becomes the window's title; a dialog title opens a dialog that
// belongs to the window.
#include <QGuiApplication>
#include <QRasterWindow>
#include <QSocketNotifier>
#include <unistd.h>

// Qt's Wayland plugins leave some of their objects at exit when the compositor closed the
// window, some from plugins already unloaded by then, which no suppression can name; in a
// sanitizer build that would turn a clean close into a failing exit code. The helper's own
// leaks are not what any test looks for, so it does without the leak check (the address
// checks stay).
extern "C" int __lsan_is_turned_off()
{
    return 1;
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QRasterWindow window;
    window.setTitle(app.arguments().value(1));
    window.resize(320, 200);
    window.show();
    QRasterWindow dialog;
    if (argc > 2) {
        dialog.setFlags(Qt::Dialog);
        dialog.setTransientParent(&window);
        dialog.setTitle(app.arguments().value(2));
        dialog.show();
    }
    QByteArray input;
    QSocketNotifier titles(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&titles, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t size = ::read(STDIN_FILENO, buffer, sizeof buffer);
        titles.setEnabled(size > 0);
        input.append(buffer, qMax<ssize_t>(size, 0));
        for (qsizetype end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
            window.setTitle(QString::fromUtf8(input.left(end)));
            input.remove(0, end + 1);
        }
    });
    return app.exec();
}
