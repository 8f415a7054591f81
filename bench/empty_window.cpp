// The reference for start-up time: an empty Qt window and nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("empty"));
    w.resize(579, 403);
    w.show();
    return QApplication::exec();
}
