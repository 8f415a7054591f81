// A stand-in for a web browser on the desktop: a window with the given title whose address
// field shows the given address, exposed to assistive tools as a browser exposes its own.
//   fakebrowser TITLE ADDRESS

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolBar>

int main(int argc, char** argv) {
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    if (argc != 3) {
        return 2;
    }
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8(argv[1]));
    auto* bar = window.addToolBar(QStringLiteral("Navigation"));
    auto* address = new QLineEdit(QString::fromUtf8(argv[2]));
    address->setAccessibleName(QStringLiteral("Address"));
    bar->addWidget(address);
    window.resize(400, 200);
    window.show();
    return app.exec();
}
