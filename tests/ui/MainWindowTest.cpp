#include "ui/MainWindow.h"

#include <QApplication>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace ostrevane::ui {
namespace {

TEST(MainWindowTest, ShowsCaptionAndStatusLine) {
    MainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Ostrevane Pro"));
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("Ostrevane"));
}

}  // namespace
}  // namespace ostrevane::ui

// Widgets need an application object; the tests run without a display.
int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
