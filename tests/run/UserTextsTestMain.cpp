// Entry point of the texts tests: the language is chosen from the environment as the program
// chooses it at start-up, so every test sees the texts a user with that environment would.

#include <gtest/gtest.h>

#include "app/UserLanguage.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    norvo::SetUpUserLanguage();
    return RUN_ALL_TESTS();
}
