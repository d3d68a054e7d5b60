// A plain Qt window whose title is the first argument, for compositors foot cannot run on.
#include <QGuiApplication>
#include <QRasterWindow>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QRasterWindow window;
    window.setTitle(app.arguments().value(1));
    window.resize(320, 200);
    window.show();
    return app.exec();
}
