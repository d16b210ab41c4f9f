// The GL tests run in a private folder, so the log they write and read is their own.
#include <gtest/gtest.h>
#include <unistd.h>

#include "test_support.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ScratchFolder folder;
    if (chdir(folder.path().c_str()) != 0)
        return 2;
    const int result = RUN_ALL_TESTS();
    if (chdir("/") != 0)
        return 2;
    return result;
}
