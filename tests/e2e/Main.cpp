// The driver's entry point: physical pixels everywhere, then every case, each on a desktop in
// a known state.
#include <windows.h>

#include "tests/driver/Harness.h"

int main(int argc, char** argv) {
    vqx::e2e::RemoveLeftoverDpi();
    // Window sizes and mouse positions in real pixels, whatever the screen's scaling.
    SetProcessDPIAware();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new vqx::e2e::KnownDesktop);
    return RUN_ALL_TESTS();
}
