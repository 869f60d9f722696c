#include <gtest/gtest.h>

#include "test_env.h"

int main (int argc, char** argv)
{
    vurtest::setUpSandbox();
    ::testing::InitGoogleTest (&argc, argv);
    const int rc = RUN_ALL_TESTS();
    vurtest::tearDownSandbox();
    return rc;
}
