#pragma once

#include <QMainWindow>

namespace ostrevane::ui {

// The program's main window: a frame of caption and status line for now.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
};

}  // namespace ostrevane::ui
