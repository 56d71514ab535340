// Entry point of the GL device tests. Without a video driver chosen they run
// on SDL's offscreen driver, so the binary works headless when run by hand.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
