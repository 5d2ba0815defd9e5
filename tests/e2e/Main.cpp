// The driver's entry point: physical pixels everywhere, then every case.
#include <windows.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Window sizes and mouse positions in real pixels, whatever the screen's scaling.
    SetProcessDPIAware();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
