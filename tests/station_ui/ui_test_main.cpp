// The tests' QApplication: widgets need one, on the offscreen platform unless told otherwise.
#include <QApplication>

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gst_init(nullptr, nullptr);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
