// A test with the program running in-process, started as on a first run,
// whose boxes and dialogs are answered by the test.
#ifndef VELKOR_TESTS_APPFIXTURE_H
#define VELKOR_TESTS_APPFIXTURE_H

#include <gtest/gtest.h>

#include "boxes.h"
#include "testapp.h"

class VelkorAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearVelkorRegistry();
        StartBoxAnswering();
        ASSERT_TRUE(StartTestApp());
    }
    // Every box the test waited for must have come, and no other one.
    void TearDown() override
    {
        EXPECT_EQ(0u, PendingAnswers()) << "a box the test waited for did not come";
        for (const BoxInfo &box : SeenBoxes())
            EXPECT_FALSE(box.unexpected) << "unexpected box: " << box.caption << " / " << box.text;
        StopTestApp();
        StopBoxAnswering();
    }
};

#endif
