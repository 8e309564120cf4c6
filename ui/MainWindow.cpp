#include "ui/MainWindow.h"

#include <QStatusBar>

namespace ostrevane::ui {
namespace {

constexpr const char* WindowCaption = "Ostrevane Pro";
constexpr const char* IdleStatus = "Ostrevane";

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromUtf8(WindowCaption));
    resize(780, 580);
    statusBar()->showMessage(QString::fromUtf8(IdleStatus));
}

}  // namespace ostrevane::ui
