// The memory reference: an empty Qt Widgets window of the same Qt.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(407, 294);
    window.show();
    return app.exec();
}
