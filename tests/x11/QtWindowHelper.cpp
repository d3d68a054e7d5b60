// A Qt client for the X11 tests: a main window with a dialog that belongs to it.
#include <QApplication>
#include <QDialog>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tollgate helper main"));
    window.resize(240, 120);
    window.show();
    QDialog dialog(&window);
    dialog.setWindowTitle(QStringLiteral("Tollgate helper dialog"));
    dialog.resize(120, 60);
    dialog.show();
    return app.exec();
}
