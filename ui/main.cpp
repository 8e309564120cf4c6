#include <QApplication>

#include "ui/MainWindow.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrevane Pro"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    ostrevane::ui::MainWindow window;
    window.show();
    return QApplication::exec();
}
