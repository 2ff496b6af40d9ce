// The memory references: an empty Qt Widgets window of the same Qt, and with
// --label the same window showing one line of text (fonts and text shaping
// loaded, which any window with a word in it needs).
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(407, 294);
    if (QApplication::arguments().contains("--label")) new QLabel("Korvid Halvane", &window);
    window.show();
    return app.exec();
}
